import sample
A
n
v
t
c
u
"for"
