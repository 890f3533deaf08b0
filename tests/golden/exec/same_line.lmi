exec "files/setup"; b = a + 1
exec "files/quits", c = 3
c
