a: x b
	ca1
b: y
	cb
a: z
	ca2
