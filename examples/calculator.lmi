% Varnel as a matrix calculator: arithmetic, a matrix literal, the inverse
% and the eigenvalues. Run it with: varnel examples/calculator.lmi
a = 2 + 3 * 4
b = (a - 4) / 2;
b ^ 2

% A symmetric 2 x 2 matrix, its inverse, and a check that A * Ainv is I.
A = [4 1; 1 3]
Ainv = inv(A)
A * Ainv

% The eigenvalues of A: (7 - sqrt(5))/2 and (7 + sqrt(5))/2.
eig(A)
