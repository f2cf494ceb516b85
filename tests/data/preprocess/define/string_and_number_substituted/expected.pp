
x =5+ seven;