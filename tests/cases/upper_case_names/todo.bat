cc Main.c
link
