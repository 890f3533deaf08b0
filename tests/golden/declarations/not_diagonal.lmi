var diag D(3) = 1
