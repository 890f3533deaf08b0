var X(2)
lmi = X;
build
