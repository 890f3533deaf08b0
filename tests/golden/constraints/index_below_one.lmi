lme(0)
