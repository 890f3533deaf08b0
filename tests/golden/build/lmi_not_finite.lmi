% An infinite constant never reaches the solver: the build refuses it.
var sym X(2)
lmi = X + 1/0;
build
