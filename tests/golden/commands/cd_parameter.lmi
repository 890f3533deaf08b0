p = 1;
cd p
