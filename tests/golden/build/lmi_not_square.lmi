var x
p = 1;
lmi = p*x;
p = [1 2];
build
