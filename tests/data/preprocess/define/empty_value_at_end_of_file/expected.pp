
yes  LAST 