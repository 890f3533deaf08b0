lme = eye(2)
