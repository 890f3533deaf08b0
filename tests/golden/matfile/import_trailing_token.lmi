v = 1;
import sample v (t)
