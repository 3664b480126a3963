
 
all :  a.o   b.o

 
	one
	two

all: c
	three
