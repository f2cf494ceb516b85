piece base, turret;
