
after 