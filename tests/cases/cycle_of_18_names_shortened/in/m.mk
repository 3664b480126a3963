all: lib c01
c01: c02
c02: c03
c03: c04
c04: c05
c05: c06
c06: c07
c07: c08
c08: c09
c09: c10
c10: c11
c11: c12
c12: c13
c13: c14
c14: c15
c15: c16
c16: c17
c17: c01
