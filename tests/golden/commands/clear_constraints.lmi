% the item forms of clear on constraints, the objective and a mask
format compact
var sym X(2)
var scl x y
lmi = X;
lmi = block(X; eye(2), X);
lmi = x;
lme = x - y;
lme = x + y - 1;
obj = x + y;
mask(X) = [1 0; 0 1];
clear lmi(2) lme(1) mask( X )
lmi
lme
whos
clear obj lmi(2) lme
obj
lmi
who
clear lmi (1)
