% runs a file that fails in its second line
exec "files/bad"
not_reached = 1
