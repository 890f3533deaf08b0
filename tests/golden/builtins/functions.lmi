trace([1 2; 3 4])
diag([1 2 3])
diag([1 2 3; 4 5 6])
find([1 0; 1 1])
size([1 2 3; 4 5 6])
size([1 2 3], 2)
inv([2 0; 0 4])
chol([4 2; 2 5])
eig([2 0; 0 2])
eigvec(5)
null(3)
x = [1 2; 3 4];
diag(x)
ans
trace(x');
ans
