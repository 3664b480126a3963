all: all
