var x z
var diag D(2)
lmi = x
lme = []*z
solve
