var sym X(2)
var z
lme = z*[]
build
