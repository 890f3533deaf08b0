% negative elements are kept, with a warning
y = sqrt([4 -1; 9 0])
sqrt(-4)
