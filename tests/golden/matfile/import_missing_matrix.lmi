import sample v t;
v
t
import sample nothere
v
