% a product with an empty matrix names a variable but has no element for it
var sym X(2)
var z
lme = z*[]
build
