cc gone
cc zero
link
