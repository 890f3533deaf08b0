var diag D(2)
mask(D) = [1 1; 1 1]
