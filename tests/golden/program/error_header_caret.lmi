% a comment, then the report names line 3 and echoes it as far as it was read
a = 1;
b = 2; $ c = 3
