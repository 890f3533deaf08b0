a = ones(64) + 63*eye(64);
b = a; c = a; b(1,1) = 5; a(2,2) = 7; c(:) = 1:4096;
b = a + a; -a; a'; a == a; a & a; a - a; find(a); b = a + 1; ~a; sqrt(a); a(:); a(:,:); chol(a);
var sym X(2); lmi = X; feas; p = X; X(1,1) = 2; p(2,2) = 3; feas; q = X; mask(X) = [1 2; 2 3]; mask(X)
s = a(1:32, 1:32); s / s; s \ s; s(:, 1:16) \ s; inv(s); eig(s); eigvec(s);
[a a]
