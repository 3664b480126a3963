cc b
