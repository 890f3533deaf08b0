p = 1;
clear p eps
p
