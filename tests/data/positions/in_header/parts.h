piece base;

helper ()
{
  sleep x;
}
