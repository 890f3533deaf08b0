% An infinite coefficient of the objective is refused by the build.
var x
lmi = x - 1;
obj = (1/0)*x;
build
