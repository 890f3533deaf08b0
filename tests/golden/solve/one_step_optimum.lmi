% The first bound of min trace(P) s.t. P >= I is already the optimum, 2 at
% P = I: the next iteration cannot lower it, and the run ends with success.
format compact
var sym P(2)
lmi = P - eye(2);
obj = trace(P);
solve
trace(P)
fact = 2;
solve
trace(P)
