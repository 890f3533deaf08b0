lmi (1)
