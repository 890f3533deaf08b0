var sym X(2)
var b
var a
lmi = X;
obj = a + b;
build
