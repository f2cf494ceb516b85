
yes 
after 