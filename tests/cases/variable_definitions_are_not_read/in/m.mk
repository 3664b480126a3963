app: main.o
	cc -o app main.o
CC = gcc
OPT ?= -O2
main.o: main.c
	cc -c main.c
LIBS := -lm
