% Tutorial: stating and solving LMI problems.
% Run it with  exec inequalities  once VARNEL_PATH names the directory that
% holds TUTORIAL/.
format compact
clear

% lmi = E asks for E > 0: the symmetric matrix E, affine in the variables,
% positive definite (a column E asks for each element to be positive).
% Write lmi = -E for E < 0. The system dx/dt = A x is stable exactly when
% some P > 0 makes A'P + PA < 0:
A = [-1 2; 0 -3];
var sym P(2)
lmi = P;
lmi = -A'*P - P*A;
% lmi alone lists the inequalities as stated, lmi(2) the second one.
lmi

% feas looks for a point at which every inequality holds and stores it in
% the variables. Its value is the outcome code: 0 success, 1 max_iter
% iterations done, 2 no progress in noprog iterations, 3 numerical
% degeneracy, 4 unboundedness, 99 abnormal termination; every code but 0
% comes with a warning. Success means a point whose inequalities hold by
% more than rounding; 4 means that feas has found and checked a
% certificate that no point is feasible.
status = feas
P
% eval(lmi(k)) evaluates inequality k at the variables' values (printing
% each of its blocks first). All its eigenvalues are positive: P proves A
% stable.
eig(eval(lmi(2)))

% x > 1 and x < -1 cannot both hold: feas warns, its code is 4 (Z = 1 for
% each inequality is its certificate: the two add up to -2 whatever x is),
% and it stores no point in x.
clear
var x
lmi = x - 1;
lmi = -1 - x;
status = feas
x

% obj = f states a scalar objective, affine in the variables, and solve
% minimises it: it finds a feasible point, then optimises, and stores the
% optimum in the variables. Its value is the outcome code of the last
% phase: 0 only when a lower bound from the dual problem proves the
% objective within eps of the optimum. (Without an objective solve only
% finds a feasible point and leaves the variables as they are: use feas
% then.)
% block(...) writes a block inequality by its lower triangle, with ";"
% between block rows. [X I; I D] > 0 with D > 0 holds exactly when
% X > inv(D) (a Schur complement), so the smallest trace(X) is reached at
% X = inv(D) = [2 -1; -1 2]/3, with trace 4/3.
clear
D = [2 1; 1 2];
var sym X(2)
lmi = block(X; eye(2), D);
obj = trace(X);
status = solve
X
% eval(obj) is the objective at the variables' values.
eval(obj)

% lme = E asks for E = 0. Variables take no subscripts: [1 0]*X*[0; 1] is
% X(1,2), so X is diagonal, as var diag X(2) would have made it. Then
% X > inv(D) needs (X(1,1) - 2/3)(X(2,2) - 2/3) > 1/9, and the best is
% X = I, with trace 2.
lme = [1 0]*X*[0; 1];
status = solve
X
eval(lme(1))
format verbose
