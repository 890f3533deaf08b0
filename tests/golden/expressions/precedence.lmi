% how tightly the operators bind
-2^2
2^-1
2^3^2
1 < 0 == 0
1 | 0 & 0
-2'
1 -2
2 * 3 ^ 2 - 8 / 2 / 2
