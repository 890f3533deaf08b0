var X(2,3)
mask(X) = [1 0; 0 1]
