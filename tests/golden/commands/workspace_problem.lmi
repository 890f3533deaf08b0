% who and whos once variables, a mask, constraints and an objective exist
var sym P(3)
var diag D(2)
var gen G(2,3)
var scl a_rather_long_name
mask(G) = [1 0 2; 0 3 0];
p = 2; M = [1 2; 3 4];
inline p
lmi = block(P; G, D);
lmi = a_rather_long_name - p;
lme = trace(P) - 1;
obj = trace(D) + a_rather_long_name;
who
whos
