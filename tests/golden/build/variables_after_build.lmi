format compact
var sym S(2) = [1 2; 2 1]
lmi = S;
build;
S
var X(2) = [1 2; 3 4]
lme = X - X';
lmi = X;
build;
X
S
