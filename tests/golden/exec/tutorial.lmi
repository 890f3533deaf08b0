exec loops
