format compact
format bigger
x = 1
