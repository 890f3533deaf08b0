lme 1
