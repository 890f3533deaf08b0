who
p = 1; long_parameter_name = 2; M = [1 2 3; 4 5 6];
who
