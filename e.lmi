x = 1:1e8; who
