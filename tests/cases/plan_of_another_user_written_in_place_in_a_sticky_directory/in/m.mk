g: x
	link
