var x
var y
obj = x;
lmi = y;
clear x
x = 3;
build
