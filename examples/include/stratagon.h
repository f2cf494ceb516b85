/*
 * stratagon.h - names for the numbers that Stratagon unit scripts use.
 *
 * Include it once near the top of a script:   #include "stratagon.h"
 * and compile with the folder on the include path:   marloc -I examples/include ...
 *
 * Every value below is a single number, so each #define takes it whole.
 * Combine flags in the script itself: explode hull type FALL | SMOKE;
 */
#ifndef STRATAGON_H
#define STRATAGON_H

// Unit values, read with "get NAME" and written with "set NAME to x".
#define ACTIVATION 1            // the unit is switched on
#define STANDING_MOVE_ORDERS 2  // hold position, manoeuvre, roam
#define STANDING_FIRE_ORDERS 3  // hold fire, return fire, fire at will
#define HEALTH 4                // health left, in percent
#define INBUILDSTANCE 5         // the unit is ready to build
#define BUSY 6                  // a script is in the middle of a long move
#define PIECE_XZ 7              // packed x and z of a piece: get PIECE_XZ(piece)
#define PIECE_HEIGHT 8          // height of a piece above the ground
#define UNIT_XZ 9               // packed x and z of another unit
#define UNIT_HEIGHT 10          // height of another unit
#define XZ_ATAN 11              // heading towards a packed x and z
#define XZ_HYPOT 12             // distance to a packed x and z
#define ATAN 13                 // angle of a pair of lengths
#define HYPOT 14                // length of a pair of lengths
#define GROUND_HEIGHT 15        // height of the ground at a packed x and z
#define CLOAKED 16              // the unit is hidden from enemies
#define BUILD_PERCENT_LEFT 17   // not yet built, in percent; 0 once finished
#define YARD_OPEN 18            // a factory's pad may be entered
#define CLEAR_YARD 19           // asks the units standing on the pad to leave
#define ARMORED 20              // the unit takes reduced damage

// Signal masks: a new "signal NAME" stops the scripts started under that mask.
#define SIG_ACTIVATE 1
#define SIG_AIM 2
#define SIG_MOVE 4
#define SIG_BUILD 8

// Effects for emit-sfx.
#define SFX_POINT_BASED 256
#define SFX_WHITE_SMOKE 257
#define SFX_BLACK_SMOKE 258
#define SFX_MUZZLE_FLASH 1024   // the first weapon's flash at the emitting piece
#define SFX_BUILD_SPARKS 1025   // the nano spray of a builder

// Explosion flags for "explode piece type ...".
#define SHATTER 1
#define EXPLODE_ON_HIT 2
#define FALL 4
#define SMOKE 8
#define FIRE 16
#define BITMAP_ONLY 32

// What Killed returns in its corpse parameter.
#define CORPSE_INTACT 1
#define CORPSE_DAMAGED 2
#define CORPSE_NONE 3

#endif
