create ()
{
}
