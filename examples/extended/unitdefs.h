/*
 * unitdefs.h - value numbers, signal masks, explosion flags and corpse
 * kinds for the extended example units.
 *
 *     #include "unitdefs.h"
 *
 * Read a value with "get NAME"; the values that need to know which piece,
 * unit or point they are about take arguments: get PIECE_XZ(torso),
 * get HYPOT(dx, dz). Write a value with "set NAME to x".
 *
 * Each #define holds a single number, so it can stand anywhere a number can.
 */
#ifndef UNITDEFS_H
#define UNITDEFS_H

// ---------------------------------------------------------------- the unit
#define ACTIVATION 1            // 1 while the unit is switched on
#define STANDING_MOVE_ORDERS 2  // 0 hold position, 1 manoeuvre, 2 roam
#define STANDING_FIRE_ORDERS 3  // 0 hold fire, 1 return fire, 2 fire at will
#define HEALTH 4                // health left, in percent
#define INBUILDSTANCE 5         // 1 while the unit is ready to build
#define BUSY 6                  // 1 while a long animation must not be cut
#define CLOAKED 16              // 1 while hidden from the enemy
#define BUILD_PERCENT_LEFT 17   // percent still to build; 0 when finished
#define YARD_OPEN 18            // 1 while units may cross the factory pad
#define CLEAR_YARD 19           // 1 asks units on the pad to leave it
#define ARMORED 20              // 1 while the unit takes reduced damage

// ------------------------------------------------------ pieces and places
#define PIECE_XZ 7              // get PIECE_XZ(piece): packed x and z
#define PIECE_HEIGHT 8          // get PIECE_HEIGHT(piece)
#define UNIT_XZ 9               // get UNIT_XZ(unitid): packed x and z
#define UNIT_HEIGHT 10          // get UNIT_HEIGHT(unitid)
#define XZ_ATAN 11              // get XZ_ATAN(xz): heading from the unit
#define XZ_HYPOT 12             // get XZ_HYPOT(xz): distance from the unit
#define ATAN 13                 // get ATAN(a, b): angle of a over b
#define HYPOT 14                // get HYPOT(a, b): length of (a, b)
#define GROUND_HEIGHT 15        // get GROUND_HEIGHT(xz)

// ------------------------------------------- values of today's game builds
#define CURRENT_SPEED 21        // linear units per second, backwards < 0
#define MAX_SPEED 22            // set MAX_SPEED to x caps the unit's speed
#define UNIT_HEADING 23         // the hull's heading, as an angle
#define MY_ID 24                // this unit's id
#define UNIT_TEAM 25            // get UNIT_TEAM(unitid)
#define UNIT_ALLIED 26          // get UNIT_ALLIED(unitid): 1 for a friend
#define UNIT_BUILD_PERCENT_LEFT 27  // get UNIT_BUILD_PERCENT_LEFT(unitid)
#define TARGET_ID 28            // get TARGET_ID(weapon): 0 without a target
#define LAST_ATTACKER_ID 29     // the unit that hit us last, 0 for none
#define VETERAN_LEVEL 30        // kills, times 100 over the unit's cost
#define WEAPON_RELOADING 31     // get WEAPON_RELOADING(weapon): 1 or 0
#define SELF_DESTRUCT 33        // set SELF_DESTRUCT to 1: blow up at once
#define IN_WATER 34             // 1 while the hull floats or is submerged
#define WATER_DEPTH 35          // get WATER_DEPTH(xz), 0 on dry land
#define KSIN 40                 // get KSIN(angle): sine, times 1024
#define KCOS 41                 // get KCOS(angle): cosine, times 1024
#define POINT_DISTANCE 42       // get POINT_DISTANCE(x1, z1, x2, z2)
#define PLAY_SOUND 46           // get PLAY_SOUND(sound, volume, piece, flags)
#define UNIT_LOADED 47          // get UNIT_LOADED(unitid): 1 when carried

// XZ packs x into the upper and z into the lower 16 bits of one number.
#define XZ_SHIFT 65536

// ------------------------------------------------------------ signal masks
// "signal MASK" stops every running script whose mask shares a bit with it.
#define SIG_ACTIVATE 1
#define SIG_AIM 2
#define SIG_AIM2 4
#define SIG_AIM3 8
#define SIG_MOVE 16
#define SIG_BUILD 32
#define SIG_IDLE 64
#define SIG_ROCK 128
#define SIG_WAKE 256
#define SIG_LAND 512

// ------------------------------------------------------- explosion flags
// Combine them in the script: explode turret type FALL | SMOKE | FIRE;
#define SHATTER 1
#define EXPLODE_ON_HIT 2
#define FALL 4
#define SMOKE 8
#define FIRE 16
#define BITMAP_ONLY 32
#define NO_HEATCLOUD 64

// ------------------------------------------- what Killed leaves behind
#define CORPSE_INTACT 1
#define CORPSE_DAMAGED 2
#define CORPSE_NONE 3

#endif
