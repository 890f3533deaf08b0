var e = []
lmi = e
