gcc -o app 
  main.o util.o
