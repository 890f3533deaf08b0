% an evaluated constraint is a new value: working on it in place leaves the
% variable as it was
var sym X(2) = [4 1; 1 4]
lme = X;
sqrt(eval(lme(1)));
X
