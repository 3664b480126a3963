cc -stdc99 -c srcmain.c
cc -stdc99 -DNDEBUG1 -o app main.o myutil.o  echo linked  build.log
