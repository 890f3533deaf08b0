a = 1; b = [1 2]; c = 3; 7;
clear a ans
who
clear b, c = 4;
who
eps = 2e-6;
clear
whos
eps
