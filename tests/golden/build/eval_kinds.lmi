var x = 2
var y = 3
var sym P(2) = [1 2; 2 5]
lmi = [1; 0]*x + [0; 1]*y - 1;
lmi = P - x;
lmi = block(P; [1 2]*y, x);
lme = x - 2*y;
obj = trace(P) + x;
eval(lmi(1))
eval(lmi(2))
eval(lmi(3))
eval(lme(1))
eval(obj)
