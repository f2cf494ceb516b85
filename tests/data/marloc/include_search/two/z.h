z_two
