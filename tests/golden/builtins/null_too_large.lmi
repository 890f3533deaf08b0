% the null space of 65536 columns would need 65536^2 elements
n = null(ones(1,65536))
