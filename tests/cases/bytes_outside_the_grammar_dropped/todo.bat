cc  log  q
