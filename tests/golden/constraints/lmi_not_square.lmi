var x
lmi = x*[1 1]
