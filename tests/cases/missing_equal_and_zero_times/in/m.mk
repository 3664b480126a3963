all: kept zero gone
	link
kept: same.h lost
	cc kept
zero: lost
	cc zero
gone: lost
	cc gone
