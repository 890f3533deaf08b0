x = 2, end
x
