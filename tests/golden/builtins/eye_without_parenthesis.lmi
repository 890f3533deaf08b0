a = eye (2)
