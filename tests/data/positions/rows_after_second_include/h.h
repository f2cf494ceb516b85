static-var s;
