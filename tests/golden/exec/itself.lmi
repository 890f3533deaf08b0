% a file that executes itself is stopped at the nesting limit
exec itself
