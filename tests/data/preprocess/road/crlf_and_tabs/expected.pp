
piece  base , turret ;
Create ()
{
show  base ;
}