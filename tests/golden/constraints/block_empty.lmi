lmi = block()
