all: x
	build all
