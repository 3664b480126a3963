g: a l
	build g
a: b
	build a
