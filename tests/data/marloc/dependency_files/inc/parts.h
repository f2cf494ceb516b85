piece base;
