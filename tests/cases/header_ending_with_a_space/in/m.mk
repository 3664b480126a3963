all: a 
	cc -c a.c
	link
