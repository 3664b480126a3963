€ÿÀmy_file.o: old.h c:x Ðz/w
	cc > log | "q"
