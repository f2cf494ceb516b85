y_two
