x = 1;
for i = 1:3
  x = x + i;
