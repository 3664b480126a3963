app: main.o util.o
	gcc -o app \
	  main.o util.o
lib.a: a.o \
  b.o
	ar rc lib.a \
    a.o b.o
x: y
all:
	cc x\
	more
