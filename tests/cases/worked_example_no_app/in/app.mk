app: main.obj
	link main.obj
main.obj: main.c
	cc main.c
