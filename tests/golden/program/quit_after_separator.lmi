x = 1; quit
x
