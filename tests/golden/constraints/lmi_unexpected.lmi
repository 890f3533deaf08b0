lmi x
