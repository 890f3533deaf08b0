% an error two files deep stops every file and the script
format compact
first = 1;
exec "files/calls_bad"
never = 1
