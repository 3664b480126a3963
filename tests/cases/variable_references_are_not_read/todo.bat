CC -c  -o 
CC LDFLAGS -o  
