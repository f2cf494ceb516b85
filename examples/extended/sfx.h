/*
 * sfx.h - effect numbers for "emit-sfx NUMBER from piece;".
 *
 * Numbers below 256 are the unit's own movement effects, 256 and up are
 * the shared effects of the game, and three blocks hand an effect to one of
 * the unit's weapons: add the weapon's index to the block's first number,
 *     emit-sfx SFX_FLASH_WEAPON + 2 from flare;    // weapon 2's flash
 */
#ifndef SFX_H
#define SFX_H

// Movement effects of the unit.
#define SFX_WAKE_BOW 1          // white water at the bow of a ship
#define SFX_WAKE_STERN 2        // the wake behind a ship
#define SFX_REVERSE_WAKE 3      // the wake of a ship going astern
#define SFX_BUBBLES 4           // a sinking hull, a submarine
#define SFX_DUST 5              // the dust of a foot or a track on the ground
#define SFX_JET_TRAIL 6         // the thin trail of a jet engine
#define SFX_AFTERBURNER 7       // the flame of an engine at full power
#define SFX_HOVER_SPRAY 8       // the spray under a hovercraft on water

// Shared effects.
#define SFX_WHITE_SMOKE 257
#define SFX_BLACK_SMOKE 258
#define SFX_SPARKS 259
#define SFX_FIRE 260
#define SFX_NANO_SPRAY 261
#define SFX_BLINK_GREEN 262
#define SFX_BLINK_RED 263

// Weapon blocks: add the weapon's index (1, 2, 3 ...).
#define SFX_FLASH_WEAPON 1024   // the weapon's muzzle flash
#define SFX_FIRE_WEAPON 2048    // fires the weapon from the piece
#define SFX_DETONATE_WEAPON 4096 // the weapon's explosion at the piece

#endif
