rank_eps = -1;
null(1)
