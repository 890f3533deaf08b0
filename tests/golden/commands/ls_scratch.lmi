% ls and dir in a fresh folder that holds only this script, then a file
% that export writes
ls
x = [1 2];
export an_exported_matrix_file x
dir
format compact
ls
