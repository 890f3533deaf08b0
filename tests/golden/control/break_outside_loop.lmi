for i = 1:2; end
if 1; break; end
