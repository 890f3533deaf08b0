var s
mask(s) = [1 0]
