other
