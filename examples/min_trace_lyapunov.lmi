% The smallest Lyapunov matrix: minimise trace(P) subject to
% A'P + PA + I < 0. At the optimum A'P + PA + I = 0, which for this A gives
% P = [1/2 1/4; 1/4 1/3] and trace(P) = 5/6.
A = [-1 2; 0 -3];
var sym P(2)
lmi = -A'*P - P*A - eye(2);
lmi = P;
obj = trace(P);
solve

P
trace(P)
% The residual of the Lyapunov equation is small at the optimum.
A'*P + P*A + eye(2)
