y_one
