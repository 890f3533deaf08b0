var scl s = [1 2]
