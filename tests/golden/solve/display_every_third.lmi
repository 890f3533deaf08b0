% A line every third iteration; the run stops by max_iter after iteration 4,
% so a closing line shows the counter 5.
format compact
display = 3;
max_iter = 4;
A = [-1 2; 0 -3];
var sym P(2)
lmi = -A'*P - P*A - eye(2);
lmi = P;
obj = trace(P);
solve
