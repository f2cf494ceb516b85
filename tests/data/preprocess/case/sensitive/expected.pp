
x =5+ speed + SPEED ;
1