% nested loops, break from the innermost one, while inside for
format compact
n = 0;
for i = 1:3
  for j = [1 2]
    n = n + i*j;
  end
end
n
pairs = [];
for i = 1:3, for j = 1:3, if j > i, break, end, pairs = [pairs; i j]; end, end
pairs
i, j
% headers end their lines without a separator
total = 0;
for k = [2 3]
  m = 0;
  while m < k
    m = m + 1;
    total = total + 1;
  end
end
total
for v = [5; 6]
  v
end
for e = [], never = 1; end
e
