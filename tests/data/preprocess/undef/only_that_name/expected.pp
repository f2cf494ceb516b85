
X 2