var sym P(2)
var x
var y
lme = x - 2*y;
lmi = [1; 0]*x + [0; 1]*y;
lmi = P - eye(2);
lmi = block(P; [1 2], x);
obj = trace(P) + x;
build
build;
