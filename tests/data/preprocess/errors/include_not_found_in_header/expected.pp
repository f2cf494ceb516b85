
h 