echo maybe
x = 1
