var sym S(2)
mask(S) = [1 2; 3 1]
