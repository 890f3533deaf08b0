var x
lme = x;
eval(lme)
