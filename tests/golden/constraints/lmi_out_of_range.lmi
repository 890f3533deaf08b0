lmi(1)
