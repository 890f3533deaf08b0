var x
lmi = x;
eval(lmi 1)
