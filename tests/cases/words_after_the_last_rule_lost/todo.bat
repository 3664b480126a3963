gcc -stdc99 -o app main.c
