all: app
app: main.o
	cc -o app *.o
%.o: %.c
	cc -c $< -o $@
clean: app
	rm -f *.o app
