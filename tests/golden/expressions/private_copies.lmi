~(q = [1 0])
q
sqrt(r = [4 9])
r
