format compact
var sym P(2)
var x
lme = trace(P) - x;
lmi = P;
lmi = x;
build
build
x = 1;
build
