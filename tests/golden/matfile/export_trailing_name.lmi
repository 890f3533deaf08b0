A = 1;
export old2 A typo
