
piece  base , turret ;
static-var  restore ;
Create ()
{
restore =0;
}
AimPrimary ( heading , pitch )
{
signal 2;
set-signal-mask 2;
turn  turret  to  y-axis  heading  speed <90>;
wait-for-turn  turret  around  y-axis ;
emit-sfx 2 from  base ;
return (1);
}