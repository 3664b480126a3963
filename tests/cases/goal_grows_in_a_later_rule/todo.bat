cb
ca1
ca2
