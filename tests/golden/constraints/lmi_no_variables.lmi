lmi = 1
