x_src
