
first 