p = 1; M = [1 2 3; 4 5 6];
3;
inline p
format compact
whos
