
body 
end 