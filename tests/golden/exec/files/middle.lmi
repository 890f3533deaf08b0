level = 2;
exec "files/quits"
middle_done = q + level
