var x(0)
