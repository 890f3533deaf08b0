x = 1 2
x
