pause
pause; x = 1
