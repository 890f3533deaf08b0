before = 1;
exec "files/bad"
after = 1
