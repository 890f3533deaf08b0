var x
lme = x - 1;
lme = x - 2;
lmi = x;
build
