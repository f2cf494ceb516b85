/*
 * damage.h - DamageSmoke, the smoke a hurt unit gives off.
 *
 * Include unitdefs.h and sfx.h first, define the piece the smoke comes from
 * and include this header below the piece declarations:
 *     #define SMOKE_PIECE hull
 *     #include "damage.h"
 * then start it from Create:   start-script DamageSmoke ();
 */

DamageSmoke ()
{
  var health, pause;
  // A unit that is still being built does not smoke.
  while (get BUILD_PERCENT_LEFT)
    sleep 500;
  while (TRUE)
  {
    health = get HEALTH;
    if (health < 25)
    {
      emit-sfx SFX_FIRE from SMOKE_PIECE;
      emit-sfx SFX_BLACK_SMOKE from SMOKE_PIECE;
    }
    else if (health < 50)
      emit-sfx SFX_BLACK_SMOKE from SMOKE_PIECE;
    else if (health < 70 && rand(0, 70) > health)
      emit-sfx SFX_WHITE_SMOKE from SMOKE_PIECE;

    // The more hurt, the thicker the smoke.
    pause = health * 30;
    if (pause < 150)
      pause = 150;
    sleep pause;
  }
}
