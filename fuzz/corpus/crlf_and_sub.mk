app: main.obj
	link main.obj
main.obj: main.c
	cc main.c
junk: x
	junk
