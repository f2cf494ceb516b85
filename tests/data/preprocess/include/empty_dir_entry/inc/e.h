e
