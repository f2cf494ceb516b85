
outer 
end 