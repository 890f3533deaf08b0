p = [1 2];
var sym X(2)
var x
lmi = block(X; p, x);
p = [1 2 3];
build
