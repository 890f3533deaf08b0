p = 1; M = [1 2];
inline p M
