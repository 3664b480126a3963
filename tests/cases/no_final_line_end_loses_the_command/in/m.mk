g: l
	one
	two