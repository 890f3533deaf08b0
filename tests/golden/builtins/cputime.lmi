t0 = cputime;
t1 = cputime;
t1 >= t0
