var x
lmi = x;
lmi = 2*x;
eval(lmi(3))
