all: a
a: b
b: a
