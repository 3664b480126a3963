cc -o app main.o   link it
