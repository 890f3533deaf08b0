% x > 1 and x < -1 cannot both hold.
format compact
var x
lmi = x - 1;
lmi = -1 - x;
solve
