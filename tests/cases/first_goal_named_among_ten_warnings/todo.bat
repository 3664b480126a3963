cc -o app main.c
