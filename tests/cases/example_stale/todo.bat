cc main.c
link main.obj
