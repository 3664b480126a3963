g: d
	cg
