a = 1;
a
);
a = 2
a
