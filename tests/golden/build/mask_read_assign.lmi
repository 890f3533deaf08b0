var sym S(2)
var X(2,3)
var s
var diag D(2)
mask(S)
mask(S) = [1 0; 0 1]
mask(S)
mask(X) = [1 1 2; 0 2 3];
mask(X)
mask(s) = 0
mask(s)
mask(D) = [1 0; 0 0];
mask(D)
