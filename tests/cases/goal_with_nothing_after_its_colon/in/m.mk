all:
b:c d
	cmd
d:
	cc x
	cd
