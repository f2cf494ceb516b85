x_cwd
