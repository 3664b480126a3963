all: todo.bat .
	build all
