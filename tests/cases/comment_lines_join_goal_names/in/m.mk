app: main.o
	cc -o app main.o  # link it
# objects
main.o: main.c
	cc -c main.c
