% eps = 1e-6 gives tables of 6 digits.
format compact
eps = 1e-6;
var x
lmi = x - 1;
feas
display = 0;
feas
