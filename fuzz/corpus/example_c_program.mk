app: main.obj util.obj
	link main.obj util.obj
main.obj: main.c util.h
	cc -c main.c
util.obj: util.c util.h
	cc -c util.c
