g: d
	c=g
