% min -y for y > 0 has no optimum: both forms report the objective unbounded
% below and keep a feasible point.
format compact
var y
lmi = y;
obj = -y;
solve
y
fact = 2;
solve
