g: l l m m
	cg
m: s
	cm
