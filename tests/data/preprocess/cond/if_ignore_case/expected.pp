
yes 