App: Main.o
	link
Main.o: Main.c
	cc Main.c
main.o: main.c
	cc main.c
Main: Main.c
	cc Main
