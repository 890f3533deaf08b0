% files run inside files; quit ends only the file that holds it
format compact
exec "files/outer"
after = level
