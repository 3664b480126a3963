app: main.c
	gcc -std=c99 -o app main.c
all
