a: b
b: a
