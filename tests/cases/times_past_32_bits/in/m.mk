all: wide y2100 edge
	link
wide: w.c
	cc wide
y2100: n.c
	cc y2100
edge: e.c
	cc edge
