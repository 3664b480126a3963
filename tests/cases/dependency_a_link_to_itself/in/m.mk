g: loop
	build g
