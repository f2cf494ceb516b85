
body 


end 