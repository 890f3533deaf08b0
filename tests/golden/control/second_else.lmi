a = 0;
if 1; a = 1; else; a = 2; else; a = 3; end
a
