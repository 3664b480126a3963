cc -c srcmain.c -o objmain.o
cc -o binapp objmain.o
