x = 3
y = z = 2;
z
1 + (w = 2)
w
x = 1 + (x = 2)
x
ans
u(2) = 1
