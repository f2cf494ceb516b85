
joined 