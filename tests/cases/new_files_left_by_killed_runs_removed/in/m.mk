g: x .
	link
