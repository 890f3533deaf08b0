% z (tied to y) enters no inequality: the normal equations are singular and
% the least-squares form takes over, continuing the table.
format compact
fact = 2;
var x y z
lmi = x - 1;
lme = y - z;
feas
x
