
piece  base , turret ;