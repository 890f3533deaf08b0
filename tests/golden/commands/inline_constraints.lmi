% parameters on the inline list are recorded in constraint texts as their
% numbers; the loop variable of for is on the list while its body runs
format compact
var scl x
var sym X(2)
p = 3; q = 0.5; r = -2; s = 7;
inline p q r
lmi = p*x + s;
lmi = X - q*eye(2);
lme = r*x - s;
obj = p*x
lmi
lme
inline off p
lmi = p*x
p = 4;
lmi(1)
for k = 1:2; lme = k*x; end
lme
lme = k*x
