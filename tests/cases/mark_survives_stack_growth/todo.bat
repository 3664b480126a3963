build g
