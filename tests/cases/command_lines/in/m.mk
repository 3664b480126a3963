g: l ccxc
	cc	x	
	
  	  cc  x
  cc x
c: d
	link
