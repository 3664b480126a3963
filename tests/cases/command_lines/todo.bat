link
ccx

  cc  x
