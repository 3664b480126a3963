build all
