all: todo.bat old .
	build all
