inner = 1;
inner = );
never = 1
