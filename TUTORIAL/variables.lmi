% Tutorial: the unknowns of an LMI problem.
% Run it with  exec variables  once VARNEL_PATH names the directory that
% holds TUTORIAL/.

% format compact drops the empty lines and the reports of build and of the
% timing; format verbose, the default, brings them back at the end.
format compact

% clear alone empties the workspace (variables, parameters, inequalities,
% equalities and the objective; the solver settings stay): a new problem
% starts from there.
clear

% var declares unknown matrices. The type before a name gives the
% structure: scl a scalar, gen a general matrix, sym a symmetric and diag
% a diagonal one; a name without a type is gen, and a 1 x 1 variable is
% always scl. A variable holds zeros until a solver run stores a solution.
var scl t
var gen G(2,3)
var sym S(2) diag E(3)
whos

% A mask gives a variable a pattern, one entry per element: 0 fixes the
% element to zero, and in a mask of 0 and 1 only, 1 leaves it free.
mask(G) = [1 1 0; 0 1 1];
% mask(v) alone reads the mask back.
mask(G)

% Every declared variable must appear in some lmi or lme, or build refuses
% the problem; clear var removes all variables.
clear var

% In a mask with numbers above 1, the elements that carry the same number
% are equal. This symmetric Q has three unknowns: Q(1,1) = Q(2,2), Q(1,2)
% and Q(3,3); Q(1,3) and Q(2,3) are zero.
var sym Q(3)
mask(Q) = [1 2 0; 2 1 0; 0 0 3];

% The pattern holds in every solution, where the problem alone would not
% give it: a Lyapunov matrix of this shape for a system whose third state
% drives the first two (lmi and feas come in the next part of the
% tutorial).
A = [-1 2 1; -2 -1 1; 0 0 -3];
lmi = Q;
lmi = -A'*Q - Q*A;
feas;
Q
format verbose
