
before 
w1 