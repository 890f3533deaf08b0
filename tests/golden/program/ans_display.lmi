3;
ans
4
x = 5
ans
