
yes 
gone 