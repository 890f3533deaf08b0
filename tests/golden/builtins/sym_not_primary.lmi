x = sym(1)
