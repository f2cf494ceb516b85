x_one
