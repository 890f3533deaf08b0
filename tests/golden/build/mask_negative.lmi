var X(2)
mask(X) = [1 -1; 0 0]
