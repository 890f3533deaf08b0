% every form of an item, and the values they declare
var x
var X(2,3)
var sym P(2) = 1
var r(1,3) = 2
var M = [1 2; 3 4]
var sym a(2) b c([2 3])
var e = []
var  diag  D(2)  =  [5 0; 0 6]
var u, u
x
X
P
r
M
a
b
c
e
D
