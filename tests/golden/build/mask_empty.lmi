var e = []
mask(e) = []
