% Lyapunov stability test: the system dx/dt = A x is stable exactly when
% some symmetric P > 0 makes A'P + PA negative definite. `feas` searches
% such a P and stores it in the variable. Run it with: varnel examples/lyapunov.lmi
A = [-1 2; 0 -3]
var sym P(2)
lmi = P;
lmi = -A'*P - P*A;
feas

% The certificate: P and -(A'P + PA) have positive eigenvalues only.
P
eig(P)
eig(-A'*P - P*A)
