
z 