var s
mask(s) = 2
