var x
lmi = x;
eval(obj)
