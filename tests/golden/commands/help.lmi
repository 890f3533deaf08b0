help
x = 1
