all:	a 	b	
		cc -o all a b	
	cc	-o all
	cc 	-o x	 -c y
