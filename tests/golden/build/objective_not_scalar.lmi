var x
lmi = x;
p = 1;
obj = p*x;
p = [1 2];
build
