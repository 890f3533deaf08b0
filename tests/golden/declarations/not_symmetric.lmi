var sym S = [1 2; 3 4]
