cd listing
ls
cd ..
cd "listing/inner"; dir
format compact
cd "../../long_names"
ls
