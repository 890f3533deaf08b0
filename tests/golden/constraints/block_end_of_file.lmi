var sym X(2) Z(3); var Y(3,2) x y; var sym W(2)
lmi = block(X;
