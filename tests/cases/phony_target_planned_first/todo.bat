CC CFLAGS -c util.c
CC CFLAGS -c main.c
gcc -o app main.o util.o
CC CFLAGS -c util.c
CC CFLAGS -c main.c
gcc -o app main.o util.o
