% Tutorial: loops and conditions.
% Run it with  exec loops  once VARNEL_PATH names the directory that holds
% TUTORIAL/.

% for runs its body once for each element of a value, going down the
% columns of a matrix one after the other.
total = 0;
for k = [1 2; 3 4]
  total = total + k;
end
total

% while repeats its body as long as its condition holds, if chooses
% between two branches, and break leaves the innermost loop.
n = 0;
while 1
  n = n + 1;
  if n == 5, break, end
end
n

% A loop can gather its results in a matrix. A condition on a matrix holds
% when any of its elements is not zero.
squares = [];
for k = 1:5
  squares = [squares k^2];
end
squares
if squares > 20
  big = 1
else
  big = 0
end
