/*
 * smoke.h - the SmokeUnit script, shared by every unit that smokes when hurt.
 *
 * Before including it, include stratagon.h and define the piece the smoke
 * rises from:
 *     #define SMOKE_PIECE hull
 *     #include "smoke.h"
 * and start it from Create with:   start-script SmokeUnit ();
 */

SmokeUnit ()
{
  var healthpct, pause, puff;
  // Nothing to show while the unit is still being built.
  while (get BUILD_PERCENT_LEFT)
  {
    sleep 400;
  }
  while (true)
  {
    healthpct = get HEALTH;
    if (healthpct < 65)
    {
      // Black smoke, now and then white when the damage is light.
      puff = SFX_BLACK_SMOKE;
      if (rand (1, 65) < healthpct)
      {
        puff = SFX_WHITE_SMOKE;
      }
      emit-sfx puff from SMOKE_PIECE;
    }
    // The worse the damage, the more often it smokes.
    pause = healthpct * 40;
    if (pause < 200)
    {
      pause = 200;
    }
    sleep pause;
  }
}
