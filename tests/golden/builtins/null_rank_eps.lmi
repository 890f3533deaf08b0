null([1 0; 0 0.1])
rank_eps = 0.5;
n = null([1 0; 0 0.1]);
size(n)
n' * n
