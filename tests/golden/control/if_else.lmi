if 0; a = 1; else; a = 2; end
a
if [0 0]
  b = 1
else
  b = 2
end
if [], c = 1, end
c = 3
