app: main.o my_util.o
	cc -std=c99 -DNDEBUG=1 -o app main.o my_util.o && echo "linked" > build.log
main.o: src/main.c util.h
	cc -std=c99 -c src/main.c
my_util.o: my_util.c
	cc -std=c99 -c my_util.c
