g: l h
	link
h: x y