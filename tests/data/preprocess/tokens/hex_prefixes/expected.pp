
x =10;
y =fF+Ab;