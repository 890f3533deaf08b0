var sym S(2)
mask(S) = [1 3; 3 1]
