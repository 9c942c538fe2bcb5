NAME t
ROWS
 N obj
 G r1
 L r2
COLUMNS
    MARKER  'MARKER'  'INTORG'
 x obj 2 r1 1
 x r2 -1
 y obj 1.5 r1 1
    MARKER  'MARKER'  'INTEND'
RHS
 rhs r1 1 r2 -1
BOUNDS
 UP b x 1
 BV b y
ENDATA
