g: l
	build
