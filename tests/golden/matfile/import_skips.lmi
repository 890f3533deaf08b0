import unusable
first
last
