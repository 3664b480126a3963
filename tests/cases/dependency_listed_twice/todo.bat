cm
cm
cg
