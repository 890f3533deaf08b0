var sym X(2)
A = [1 2; 3 4];
lmi = A*X;
build
