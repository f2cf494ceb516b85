
a = speed-N ;
b = speed  -  2 ;