all:	a 	b	
		cc -o all a b	
	cc	-o all
