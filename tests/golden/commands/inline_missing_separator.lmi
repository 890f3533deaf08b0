p = 1;
inline p x
