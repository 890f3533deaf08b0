% an exponent that is no scalar fails the statement, the empty one too
p = 5;
p = 2 ^ []
