% A block LMI: by the Schur complement, [X I; I D] > 0 with D > 0 holds
% exactly when X > inv(D). Minimising trace(X) gives X = inv(D), here
% diag(1/2, 1/4) with trace 0.75.
D = [2 0; 0 4];
var sym X(2)
lmi = block(X; eye(2), D);
obj = trace(X);
solve

X
inv(D)
