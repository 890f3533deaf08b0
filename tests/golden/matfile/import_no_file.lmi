x = 1;
import nofile
