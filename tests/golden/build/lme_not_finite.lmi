% A NaN in an equality never reaches the solver: the build refuses it.
var x
var y
lmi = y;
lme = x - 0/0;
build
