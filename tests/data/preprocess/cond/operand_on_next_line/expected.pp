
y 