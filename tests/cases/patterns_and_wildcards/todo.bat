cc -o app .o
