% State-feedback synthesis: a gain K for which every eigenvalue of the
% closed loop A + B*K has a real part below -alpha. With some P > 0 that
% holds when (A + BK)P + P(A + BK)' + 2 alpha P < 0, which is not linear in
% K and P together; the change of variables Y = K*P makes it linear:
%   A*P + P*A' + B*Y + Y'*B' + 2*alpha*P < 0,
% and K = Y*inv(P) afterwards. Run it with:
% varnel examples/state_feedback.lmi
%
% Known answer: A alone is unstable (its characteristic polynomial
% s^3 - 3s^2 + 2s - 1 has negative coefficients); every eigenvalue of
% A + B*K has a real part below -alpha = -1.
A = [0 1 0; 0 0 1; 1 -2 3];
B = [0; 0; 1];
alpha = 1;
var sym P(3)
var gen Y(1,3)
lmi = P;
lmi = -A*P - P*A' - B*Y - Y'*B' - 2*alpha*P;
feas

% The gain, and the closed loop's eigenvalues: the first column holds the
% real parts, all below -1.
K = Y*inv(P)
eig(A + B*K)
