% a comment line, an empty line and a line of blanks

   
// another comment
x = 1, y = 2; z = 3
