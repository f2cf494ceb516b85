
x-1  x  - 1 -5  -speed  call-script  a_b  #x 9 a 