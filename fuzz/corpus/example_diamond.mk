g: x y
	link g
x: s
	build x
y: s
	build y
s: s.c
	cc s.c
