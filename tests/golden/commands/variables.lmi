var sym P(3)
var scl x
var gen Gain(2,3)
format compact
whos
clear x
who
clear var
who
