% Tutorial: Varnel as a matrix calculator.
% Run it with  exec matrices  once VARNEL_PATH names the directory that
% holds TUTORIAL/.

% A statement shows its value unless a ";" ends it; a value that gets no
% name of its own is shown, and kept, as ans.
a = 2 + 3 * 4
b = (a - 4) / 2;
b ^ 2

% Matrices are written row by row: blanks between the elements of a row,
% ";" between rows.
A = [4 1; 1 3]

% ' transposes, * multiplies and \ solves A * x = y.
y = [1; 2];
x = A \ y
A * x

% Subscripts read and write single elements; rows and columns count
% from 1.
A(2, 1)
A(2, 1) = 0

% Built-in functions and ranges.
inv([2 0; 0 4])
trace(A)
size(A)
r = 0:0.5:2
