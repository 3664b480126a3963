cc -c util.c
cc -c main.c
link main.obj util.obj
