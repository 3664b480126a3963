all: p q r s t u
	link
p: l
	make p
q: m
	make q
r: n
	make r
s: o
	make s
t: v
	make t
u: w
	make u
