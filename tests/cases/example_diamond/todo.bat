cc s.c
build y
cc s.c
build x
link g
