echo on
x = 1;
echo off
y = 2;
echo
z = 3;
echo  on ; w = 4;
echo off
