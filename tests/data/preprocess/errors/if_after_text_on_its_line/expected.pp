
a  b 