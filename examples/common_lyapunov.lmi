% A common Lyapunov function: one P > 0 with A_i'P + P A_i < 0 for every
% matrix of a family proves dx/dt = A_i x stable however the system
% switches among them. Here each A_i'P + P A_i + I < 0 is asked for, a
% margin, and trace(P) is minimised. Run it with:
% varnel examples/common_lyapunov.lmi
%
% Known answer: A_i = -c_i I + S_i with S_i skew-symmetric (S_i' = -S_i)
% and c = 1, 2, 3. P = I/2 gives A_i'P + P A_i + I = (1 - c_i) I <= 0. For
% any admissible P the trace of the first inequality gives 2 trace(P) >= 3,
% the skew part dropping out of the trace. So the optimum is P = I/2 with
% trace(P) = 3/2.
A1 = [-1 2 0; -2 -1 1; 0 -1 -1];
A2 = [-2 0 3; 0 -2 -1; -3 1 -2];
A3 = [-3 -1 -2; 1 -3 4; 2 -4 -3];
var sym P(3)
lmi = P;
lmi = -A1'*P - P*A1 - eye(3);
lmi = -A2'*P - P*A2 - eye(3);
lmi = -A3'*P - P*A3 - eye(3);
obj = trace(P);
solve

% P is I/2 and its trace 3/2, to the solver's relative accuracy eps.
P
trace(P)
