mk x
