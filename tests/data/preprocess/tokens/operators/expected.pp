
if ( a <= b && c != d || e == f ) x : y ;