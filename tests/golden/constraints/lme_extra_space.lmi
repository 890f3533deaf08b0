lme (1)
