eps = -1;
clear
