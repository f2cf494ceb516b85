piece base, turret;
create ()
{
    hide base;
    show turret;
}
