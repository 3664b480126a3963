link main.obj
