% The H-infinity norm of a stable system by the bounded real lemma. The
% transfer function G(s) = C inv(sI - A) B + D has a norm below g exactly
% when some P > 0 makes
%   [A'P + PA   PB   C']
%   [B'P        -g   D']  < 0,
%   [C          D    -g]
% so minimising g drives it down to the norm. lmi = E asks for E > 0: the
% script states the negated matrix, by its lower triangle.
% Run it with: varnel examples/hinf_norm.lmi
%
% Known answer: the system is G(s) = 1/(s+1) + 1/(s+2) + 1/(s+4) + 1/4,
% written in the basis of T = [1 1 0; 1 2 1; 0 1 2]:
% A = T diag(-1, -2, -4) inv(T), B = T [1; 1; 1], C = [1 1 1] inv(T).
% Every term is positive at s = 0 and no term's gain rises as s moves from
% 0 along the imaginary axis, so the norm is the gain at s = 0:
% 1 + 1/2 + 1/4 + 1/4 = 2, which is also C*inv(-A)*B + D.
A = [1 -2 1; 1 -2 -1; -4 4 -6];
B = [2; 4; 3];
C = [2 -1 1];
D = 0.25;
var sym P(3)
var g
lmi = block(-A'*P - P*A; -B'*P, g; -C, -D, g);
lmi = P;
obj = g;
solve

% g is the norm, 2 to the solver's relative accuracy eps; the gain at
% s = 0 agrees.
g
C*inv(-A)*B + D
