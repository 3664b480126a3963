app: main.o util.o
	$(CC) ${LDFLAGS} -o $@ $^
main.o: main.c
	$(CC) -c $< -o $@
