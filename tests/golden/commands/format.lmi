x = 2
format compact
x
y = [1 2]
format
x
format compact; format verbose, x
