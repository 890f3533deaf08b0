var x
lme = x - 1;
build
