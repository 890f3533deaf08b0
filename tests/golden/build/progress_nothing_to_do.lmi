var sym P(2)
lmi = P;
build;
