cc -o app main.o
