
1  3   zed   fast slow 