var X(2)
obj = X
