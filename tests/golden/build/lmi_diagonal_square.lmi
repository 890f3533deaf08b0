var x
var y
p = 1;
lmi = block(p*x; 0, y);
p = [1; 2];
build
