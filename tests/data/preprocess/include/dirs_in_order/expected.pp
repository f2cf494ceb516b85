
two 