x = 1;
export .. x
