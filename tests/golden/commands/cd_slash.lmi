cd /
