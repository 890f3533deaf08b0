% the path of the root folder is the same on every machine
cd "/"
pwd
cd ..
pwd
format compact
pwd
