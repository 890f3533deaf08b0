var x (2)
x
