% a product with more elements than an int counts is refused, not made
v = ones(65536,1); w = v * v'
