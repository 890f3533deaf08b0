obj = 2
