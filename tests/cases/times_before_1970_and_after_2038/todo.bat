make u
make t
make s
make p
link
