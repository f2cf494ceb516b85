
yes 
b 