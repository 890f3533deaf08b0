x = [1 2 3];
(x)
+x
x'
x + 0
x(2)
ans
x
