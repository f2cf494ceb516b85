
X 