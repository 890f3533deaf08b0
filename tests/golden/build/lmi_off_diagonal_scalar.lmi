var sym X(2)
var sym Y(2)
var x
p = [1 0; 0 1];
lmi = block(X; x*p + [1 2; 3 4], Y);
p = 3;
build
