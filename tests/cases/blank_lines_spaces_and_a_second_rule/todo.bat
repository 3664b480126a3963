one
two
three
