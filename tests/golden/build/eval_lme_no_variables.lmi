var x
var y
lme = x - 1;
lmi = y;
clear x
x = 3;
eval(lme(1))
