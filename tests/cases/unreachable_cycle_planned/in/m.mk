all: a
	link
u: v a
v: u
