helper ()
{
}
