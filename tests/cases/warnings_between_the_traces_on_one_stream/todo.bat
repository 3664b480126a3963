cg
