var sym X(2) Z(3); var Y(3,2) x y; var sym W(2)
lmi
lme
lmi = X
lmi = block(X; Y, Z);
lmi = block(x;
  y, x + y
)
lme = X-W
lme = x   -   y;
lmi
lmi(2)
lme
obj
obj = trace(X)
obj;
format compact
lmi
lme(2)
obj
