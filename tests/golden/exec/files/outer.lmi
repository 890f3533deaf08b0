level = 1;
exec "files/middle", level
