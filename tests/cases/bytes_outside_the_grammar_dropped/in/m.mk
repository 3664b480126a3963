my_file.o: old.h c:x Аz/w
	cc > log | "q"
