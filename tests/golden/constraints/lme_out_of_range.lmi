var x
lme = x;
lme(2)
