z = zeros(100000)
