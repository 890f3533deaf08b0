% for over a matrix goes down its columns
for i = [1 2; 3 4]
  i
end
% while evaluates its condition before every pass
k = 0;
while k < 3
  k = k + 1;
end
k
% break leaves the loop from inside nested ifs
for n = 1:10
  if n > 2
    if n == 4, break, end
  end
  last = n;
end
last, n
