var sym S(2,3)
