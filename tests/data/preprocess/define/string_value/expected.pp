
 hi there ;