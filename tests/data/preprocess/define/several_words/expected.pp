
m =  fast mode ;