% The whole tutorial, part after part.
% Run it with  exec tutorial  once VARNEL_PATH names the directory that
% holds TUTORIAL/.
exec matrices
exec loops
exec variables
exec inequalities
