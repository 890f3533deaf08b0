var eps
