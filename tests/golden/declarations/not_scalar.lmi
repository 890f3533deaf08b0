var scl s(2)
