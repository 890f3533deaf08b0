q = 1;
quit; c = 6
c = 7
