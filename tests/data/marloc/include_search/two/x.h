x_two
