% min -y for y > 0 has no optimum: both forms give up, the feasible point stays.
format compact
var y
lmi = y;
obj = -y;
solve
y
fact = 2;
solve
