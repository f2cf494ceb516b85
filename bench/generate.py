#!/usr/bin/env python3
"""Writes deterministic BOS inputs for the throughput benchmark.

One unit (the default) is a main script of exactly --lines lines plus two
headers it includes:

    bench/generate.py --lines 100000 --out /tmp/bench100k     # main.bos, bench_defs.h, bench_sfx.h

With --files N the folder gets N separate units (unit000.bos ...), each of
--lines lines, sharing the two headers; they are what `marloc -j` is timed on.

The text uses what a real unit script uses: #define constants (numbers,
angular and linear literals, multi-token values, defines built from other
defines), #ifdef / #ifndef / #else / #endif and #if blocks, #undef, a piece
list, static variables, thousands of scripts with every statement keyword
and every operator, calls to scripts defined further down, and comments of
both kinds. Everything it writes compiles, and GNU cpp reads it too:
conditions use only operators both understand, and no directive block is
nested inside one that can be skipped (skipping does not count nesting).

The output depends only on the arguments: the same seed gives the same bytes
on every machine (random.Random gives the same sequence on every Python 3
for the calls used here).
"""

import argparse
import os
import random
import sys

DEFS_HEADER = "bench_defs.h"
SFX_HEADER = "bench_sfx.h"

# Defines the headers below create; the scripts use them by name.
NUMBER_DEFINES = ["SIG_AIM", "SIG_MOVE", "SIG_BUILD", "RESTORE_DELAY", "AIM_DELAY", "WALK_PAUSE", "SFX_WAKE",
                  "SFX_FLASH", "SFX_SPARK", "SPRAY_PIECES", "LEVEL"]
ANGLE_DEFINES = ["TURRET_SPEED", "SLEEVE_SPEED", "PITCH_LIMIT", "HALF_TURN", "AIM_SPEED", "WHEEL_SPEED"]
LINEAR_DEFINES = ["DOOR_OPEN", "DOOR_SPEED", "RECOIL", "LIFT_HEIGHT"]
VALUE_DEFINES = ["SMOKE_BLACK", "SMOKE_WHITE", "HEALTH_LOW", "IS_BUILDING", "EXPLODE_HARD"]

PIECES = ["base", "hull", "turret", "sleeve", "barrel1", "barrel2", "flare1", "flare2", "antenna", "radar",
          "wheel_l1", "wheel_l2", "wheel_l3", "wheel_r1", "wheel_r2", "wheel_r3", "track_l", "track_r", "door_l",
          "door_r", "pad", "nano1", "nano2", "beam", "crane", "hook", "lamp", "wing_l", "wing_r", "flap_l", "flap_r",
          "prop", "exhaust_l", "exhaust_r", "wake1", "wake2", "launcher", "missile_l", "missile_r", "gear"]

STATICS = ["bmoving", "baiming", "bbuilding", "bopen", "gun_heat", "restore_delay", "spray", "throttle",
           "bflying", "blanded", "heading_now", "pitch_now", "shots", "reload", "fuel", "armor",
           "state_a", "state_b", "state_c", "state_d", "counter1", "counter2", "counter3", "counter4",
           "wanted_speed", "cur_speed", "lift", "mode", "team_colour", "cloak", "weapon_ready", "last_hit"]

LOCAL_NAMES = ["heading", "pitch", "delay", "speed", "target", "wanted", "step", "count", "health", "pause",
               "smoke", "gap", "level", "dist", "angle", "offset", "value", "phase", "lift_to", "sweep"]

SCRIPT_BASES = ["Aim", "Fire", "Walk", "Smoke", "Build", "Open", "Close", "Spin", "Restore", "Sway",
                "Recoil", "Lift", "Land", "Patrol", "Deploy", "Reload", "Cloak", "Signal", "Track", "Sweep"]

AXES = ["x-axis", "y-axis", "z-axis"]

COMMENTS = ["keep the turret level while the hull rocks", "wait for the door before the pad lifts",
            "one more pass over the wheels", "smoke while damaged, more when worse", "tracks follow the speed",
            "the barrel comes back slower than it went", "aim from the sleeve, not from the turret"]
NOTES = ["tuned by hand", "see the note above", "slow on purpose", "matches the model", "in game units",
         "from the template"]

# How far ahead a call may reach; the tail defines every script so called.
FORWARD_REACH = 24


def script_name(index):
    return "%s%d" % (SCRIPT_BASES[(index * 7) % len(SCRIPT_BASES)], index)


def script_params(index):
    return (index * 13) % 3


def write_defs_header(rng, path, tune_count):
    lines = [
        "// Constants shared by every benchmark unit.",
        "#ifndef BENCH_DEFS_H",
        "#define BENCH_DEFS_H",
        "",
        "#define LEVEL 3",
        "#define SIG_AIM 2",
        "#define SIG_MOVE 4",
        "#define SIG_BUILD 8",
        "#define RESTORE_DELAY 3000",
        "#define GEAR_DROP 1.5",
        "#define TURRET_SPEED <90>",
        "#define SLEEVE_SPEED <45>",
        "#define PITCH_LIMIT <-20>",
        "#define WHEEL_SPEED <240>",
        "#define DOOR_OPEN [2.5]",
        "#define DOOR_SPEED [1.25]",
        "#define RECOIL [-1.2]",
        "#define LIFT_HEIGHT [12]",
        "/* Values of more than one token: a number first would end the value",
        "   after that number, so these open with a parenthesis. */",
        "#define HALF_TURN (<180> / 2)",
        "#define AIM_SPEED (TURRET_SPEED * 2)",
        "#define SMOKE_BLACK (256 | 2)",
        "#define SMOKE_WHITE (256 | 1)",
        "#define HEALTH_LOW (get 4 < 50)",
        "#define IS_BUILDING (get 17 == 0)",
        "#define EXPLODE_HARD (4 | 8 | 16)",
        "#define HAS_SMOKE",
        "#define USE_WAKE",
        "",
        "#ifdef FAST_AIM",
        "#define AIM_DELAY 50",
        "#else",
        "#define AIM_DELAY 150",
        "#endif",
        "#ifndef SLOW_WALK",
        "#define WALK_PAUSE 120",
        "#endif",
        "",
        "// Tuning table, as mods generate it.",
    ]
    for i in range(tune_count):
        lines.append("#define TUNE_%04d %d" % (i, rng.randint(1, 5000)))
    lines += ["", "#endif", ""]
    with open(path, "w", newline="\n") as out:
        out.write("\n".join(lines))


def write_sfx_header(path):
    lines = [
        "// Effect numbers.",
        "#define SFX_WAKE 2",
        "#define SFX_FLASH 1024",
        "#define SFX_SPARK 1025",
        "#if LEVEL > 2",
        "#define SPRAY_PIECES 2",
        "#else",
        "#define SPRAY_PIECES 1",
        "#endif",
        "#if (LEVEL * 2) >= 6",
        "#define EXTRA_FLASH",
        "#endif",
        "",
    ]
    with open(path, "w", newline="\n") as out:
        out.write("\n".join(lines))


class UnitWriter:
    """Builds one unit's main text as a list of lines."""

    def __init__(self, rng, lines, tune_count):
        self.rng = rng
        self.target = lines
        self.tune_count = tune_count
        self.out = []
        self.locals = []
        self.index = 0
        # Create starts script 0.
        self.highest_called = 0
        # Off inside a branch that may be skipped: skipping stops at the
        # first #else or #endif, whatever its nesting.
        self.directives = True

    # ---- expressions ----

    def number(self):
        r = self.rng.random()
        if r < 0.5:
            return str(self.rng.randint(0, 100))
        if r < 0.8:
            return str(self.rng.randint(100, 5000))
        return "%d.%d" % (self.rng.randint(0, 9), self.rng.randint(1, 9))

    def angle(self):
        r = self.rng.random()
        if r < 0.15:
            return self.rng.choice(ANGLE_DEFINES)
        if r < 0.3:
            return "<-%d>" % self.rng.randint(1, 90)
        return "<%d>" % self.rng.choice((0, 5, 10, 15, 20, 30, 45, 60, 90, 120, 180))

    def linear(self):
        r = self.rng.random()
        if r < 0.2:
            return self.rng.choice(LINEAR_DEFINES)
        if r < 0.4:
            return "[-%d.%d]" % (self.rng.randint(0, 5), self.rng.randint(1, 9))
        return "[%d]" % self.rng.randint(0, 20)

    def variable(self):
        if self.locals and self.rng.random() < 0.6:
            return self.rng.choice(self.locals)
        return self.rng.choice(STATICS)

    def factor(self, depth):
        r = self.rng.random()
        if r < 0.30:
            return self.variable()
        if r < 0.48:
            return self.number()
        if r < 0.54:
            return self.angle()
        if r < 0.58:
            return self.linear()
        if r < 0.64:
            return self.rng.choice(NUMBER_DEFINES)
        if r < 0.67:
            return self.rng.choice(VALUE_DEFINES)
        if r < 0.71:
            return "get %d" % self.rng.choice((1, 2, 3, 4, 5, 6, 16, 17, 18, 19, 20))
        if r < 0.74:
            return "get %d(%s)" % (self.rng.randint(7, 13), self.rng.choice(PIECES))
        if r < 0.76:
            return "get %d(%s, %s)" % (self.rng.randint(14, 15), self.variable(), self.number())
        if r < 0.80:
            return "rand(%s, %s)" % (self.rng.randint(0, 10), self.rng.randint(11, 1000))
        if r < 0.82:
            return self.rng.choice(("true", "false"))
        if depth < 2 and r < 0.88:
            return "(%s)" % self.expression(depth + 1)
        if depth < 2 and r < 0.92:
            return "%s(%s)" % (self.rng.choice(("!", "not ")), self.expression(depth + 1))
        return self.variable()

    def term(self, depth):
        text = self.factor(depth)
        if self.rng.random() < 0.25:
            text += " %s %s" % (self.rng.choice("*/"), self.factor(depth))
        return text

    def eq_term(self, depth):
        text = self.term(depth)
        if self.rng.random() < 0.35:
            text += " %s %s" % (self.rng.choice("+-"), self.term(depth))
        return text

    def expression(self, depth=0):
        text = self.eq_term(depth)
        if self.rng.random() < 0.2:
            op = self.rng.choice(("!=", "==", ">=", "<=", "<", ">", "&", "|", "&&", "||", "!"))
            text += " %s %s" % (op, self.eq_term(depth))
        return text

    def condition(self):
        r = self.rng.random()
        if r < 0.5:
            op = self.rng.choice(("!=", "==", ">=", "<=", "<", ">"))
            text = "%s %s %s" % (self.variable(), op, self.rng.choice((self.number(), self.variable())))
            if self.rng.random() < 0.3:
                text = "(%s) %s (%s %s %s)" % (text, self.rng.choice(("&&", "||", "&", "|")), self.variable(),
                                              self.rng.choice(("==", "<", ">")), self.number())
            return text
        if r < 0.65:
            return "%s %s" % (self.rng.choice(("!", "not ")), self.variable())
        if r < 0.75:
            return self.rng.choice(("HEALTH_LOW", "IS_BUILDING", "get 17"))
        return self.variable()

    # ---- statements ----

    def piece(self):
        return self.rng.choice(PIECES[1:])

    def call(self, keyword):
        # Mostly forward: the called script comes later in the file.
        if self.index == 0 or self.rng.random() < 0.7:
            target = self.index + self.rng.randint(1, FORWARD_REACH)
        else:
            target = self.rng.randint(max(0, self.index - 200), self.index - 1)
        self.highest_called = max(self.highest_called, target)
        args = ", ".join(self.variable() for _ in range(script_params(target)))
        return "%s %s(%s);" % (keyword, script_name(target), args)

    def simple_statement(self):
        """One line statement, without indentation."""
        rng = self.rng
        r = rng.random()
        if r < 0.18:
            return "%s = %s;" % (self.variable(), self.expression())
        if r < 0.33:
            axis = rng.choice(AXES)
            if rng.random() < 0.3:
                return "turn %s to %s %s now;" % (self.piece(), axis, self.angle())
            return "turn %s to %s %s speed %s;" % (self.piece(), axis, self.angle(), self.angle())
        if r < 0.43:
            axis = rng.choice(AXES)
            if rng.random() < 0.3:
                return "move %s to %s %s now;" % (self.piece(), axis, self.linear())
            return "move %s to %s %s speed %s;" % (self.piece(), axis, self.linear(), self.linear())
        if r < 0.47:
            return "wait-for-turn %s around %s;" % (self.piece(), rng.choice(AXES))
        if r < 0.50:
            return "wait-for-move %s along %s;" % (self.piece(), rng.choice(AXES))
        if r < 0.53:
            if rng.random() < 0.5:
                return "spin %s around %s speed %s;" % (self.piece(), rng.choice(AXES), self.angle())
            return "spin %s around %s speed %s accelerate %s;" % (self.piece(), rng.choice(AXES), self.angle(),
                                                                  self.angle())
        if r < 0.56:
            if rng.random() < 0.5:
                return "stop-spin %s around %s;" % (self.piece(), rng.choice(AXES))
            return "stop-spin %s around %s decelerate %s;" % (self.piece(), rng.choice(AXES), self.angle())
        if r < 0.60:
            return "%s %s;" % (rng.choice(("hide", "show")), self.piece())
        if r < 0.64:
            return "%s %s;" % (rng.choice(("cache", "dont-cache", "shade", "dont-shade")), self.piece())
        if r < 0.67:
            return "emit-sfx %s from %s;" % (rng.choice(("SFX_WAKE", "SFX_FLASH", "SFX_SPARK", "SMOKE_BLACK",
                                                         "1024", "256 | 3")), self.piece())
        if r < 0.69:
            return "explode %s type %s;" % (self.piece(), rng.choice(("EXPLODE_HARD", "4 | 8", "32", "1")))
        if r < 0.73:
            return "signal %s;" % rng.choice(("SIG_AIM", "SIG_MOVE", "SIG_BUILD", "2", "4"))
        if r < 0.76:
            return "set-signal-mask %s;" % rng.choice(("SIG_AIM", "SIG_MOVE", "SIG_BUILD", "0"))
        if r < 0.82:
            return "sleep %s;" % rng.choice((self.number(), "AIM_DELAY", "WALK_PAUSE", self.variable(),
                                            "RESTORE_DELAY"))
        if r < 0.85:
            return "set %d to %s;" % (rng.choice((5, 6, 18, 19)), self.expression())
        if r < 0.86:
            return "attach-unit %s to %s;" % (self.variable(), self.piece())
        if r < 0.87:
            return "drop-unit %s;" % self.variable()
        if r < 0.88:
            return rng.choice(("get %d;" % rng.randint(1, 6), "rand %d;" % rng.randint(1, 100)))
        if r < 0.94:
            return self.call(rng.choice(("call-script", "start-script")))
        return "%s = %s;" % (self.variable(), self.expression())

    def block(self, indent, depth, budget):
        """Statements of a block body; returns its lines (each indented)."""
        pad = "    " * indent
        lines = []
        while len(lines) < budget:
            r = self.rng.random()
            if depth < 2 and r < 0.10:
                body = self.block(indent + 1, depth + 1, self.rng.randint(1, 4))
                lines.append(pad + "if (%s)" % self.condition())
                lines.append(pad + "{")
                lines += body
                lines.append(pad + "}")
            elif depth < 2 and r < 0.13:
                body = self.block(indent + 1, depth + 1, self.rng.randint(1, 3))
                lines.append(pad + "while (%s)" % self.condition())
                lines.append(pad + "{")
                lines += body
                lines.append(pad + "    sleep %s;" % self.rng.choice(("100", "250", "WALK_PAUSE")))
                lines.append(pad + "}")
            elif depth == 0 and self.directives and r < 0.15:
                lines += self.conditional_statements(pad)
            elif r < 0.16:
                lines.append("")
            elif r < 0.21:
                lines.append(pad + "// " + self.rng.choice(COMMENTS))
            elif r < 0.38:
                lines.append(pad + self.simple_statement() + "  // " + self.rng.choice(NOTES))
            else:
                lines.append(pad + self.simple_statement())
        return lines

    def conditional_statements(self, pad):
        rng = self.rng
        r = rng.random()
        if r < 0.35:
            return ["#ifdef USE_WAKE", pad + "emit-sfx SFX_WAKE from %s;" % rng.choice(("wake1", "wake2")),
                    "#endif"]
        if r < 0.6:
            return ["#ifndef FAST_AIM", pad + "sleep AIM_DELAY;", "#else", pad + "sleep 10;", "#endif"]
        if r < 0.8:
            return ["#if LEVEL > 2", pad + "signal SIG_AIM;", "#else", pad + "signal SIG_MOVE;", "#endif"]
        return ["#ifdef EXTRA_FLASH", pad + "emit-sfx SFX_FLASH from %s;" % rng.choice(("flare1", "flare2")),
                "#endif"]

    # ---- scripts ----

    def script(self, index, size):
        """Lines of script `index` with a body of about `size` lines."""
        rng = self.rng
        params = ["p%d_%s" % (i, rng.choice(LOCAL_NAMES)) for i in range(script_params(index))]
        self.locals = list(params)
        lines = []
        if rng.random() < 0.2:
            lines.append("")
        if rng.random() < 0.15:
            lines += ["/* %s: generated from template %d." % (script_name(index), rng.randint(1, 40)),
                      "   Keeps the pieces in step. */"]
        lines.append("%s (%s)" % (script_name(index), ", ".join(params)))
        lines.append("{")
        if rng.random() < 0.5:
            names = rng.sample(LOCAL_NAMES, rng.randint(1, 3))
            lines.append("    var %s;" % ", ".join(names))
            self.locals += names
            for name in names:
                lines.append("    %s = %s;" % (name, self.expression()))
        lines += self.block(1, 0, size)
        if rng.random() < 0.3:
            lines.append("    return (%s);" % self.expression())
        lines.append("}")
        lines.append("")
        return lines

    def alternatives(self, index, size):
        """Script `index` defined in both branches of a conditional."""
        head = self.rng.choice(("#ifdef HAS_SMOKE", "#ifndef SLOW_WALK", "#if LEVEL > 2", "#ifdef FAST_AIM",
                                "#if (LEVEL * 2) >= 6"))
        self.directives = False
        first = self.script(index, size)
        second = self.script(index, max(1, size // 3))
        self.directives = True
        return [head] + first + ["#else"] + second + ["#endif"]

    def prologue(self):
        rng = self.rng
        lines = [
            "// Benchmark unit, written by bench/generate.py.",
            "/* Every script here is generated; the mix of statements follows",
            "   what hand-written units use. */",
            '#include "%s"' % DEFS_HEADER,
            '#include "%s"' % SFX_HEADER,
            "",
            "#define SCRATCH_STEP 7",
            "",
        ]
        lines.append("piece  " + ", ".join(PIECES[:14]) + ",")
        lines.append("       " + ", ".join(PIECES[14:28]) + ",")
        lines.append("       " + ", ".join(PIECES[28:]) + ";")
        lines.append("")
        for start in range(0, len(STATICS), 8):
            lines.append("static-var  " + ", ".join(STATICS[start:start + 8]) + ";")
        lines.append("")
        # A script that uses a define dropped right after it.
        lines += ["Create ()", "{", "    hide flare1;", "    hide flare2;", "    counter1 = SCRATCH_STEP;",
                  "    restore_delay = RESTORE_DELAY;", "    turn turret to y-axis <0> now;",
                  "    move barrel1 to z-axis [0] now;", "    gun_heat = TUNE_%04d;" % rng.randrange(self.tune_count),
                  "    start-script %s();" % script_name(0), "}", "", "#undef SCRATCH_STEP", ""]
        return lines

    def build(self):
        self.out = self.prologue()
        # Room for the scripts that forward calls still need at the end.
        reserve = FORWARD_REACH * 5 + 4
        index = 0
        while True:
            self.index = index
            size = self.rng.randint(3, 30)
            if self.rng.random() < 0.04:
                lines = self.alternatives(index, size)
            else:
                lines = self.script(index, size)
            if len(self.out) + len(lines) > self.target - reserve:
                break
            self.out += lines
            index += 1
        # Define every script a call reached for, with short bodies.
        while index <= self.highest_called:
            self.out += ["%s (%s)" % (script_name(index), ", ".join("a%d" % i for i in range(script_params(index)))),
                         "{", "    sleep %d;" % self.rng.randint(1, 100), "}"]
            index += 1
        while len(self.out) < self.target:
            self.out.append("// end of unit")
        if len(self.out) > self.target:
            raise RuntimeError("the tail outgrew its reserve")
        return self.out


def write_unit(path, rng, lines, tune_count):
    text = UnitWriter(rng, lines, tune_count).build()
    with open(path, "w", newline="\n") as out:
        out.write("\n".join(text))
        out.write("\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--lines", type=int, default=100000, help="lines of each main script (default 100000)")
    parser.add_argument("--files", type=int, default=0,
                        help="write this many units unit000.bos ... instead of one main.bos")
    parser.add_argument("--seed", type=int, default=20240601, help="random seed (default 20240601)")
    parser.add_argument("--out", required=True, help="folder to write into (created when missing)")
    parser.add_argument("--name", default="main.bos", help="name of the single main script (default main.bos)")
    args = parser.parse_args()

    # Lines the prologue, the reserve for forward calls and one script take.
    if args.lines < 300:
        parser.error("--lines must be at least 300")
    os.makedirs(args.out, exist_ok=True)
    tune_count = max(20, args.lines // 1000)
    write_defs_header(random.Random(args.seed), os.path.join(args.out, DEFS_HEADER), tune_count)
    write_sfx_header(os.path.join(args.out, SFX_HEADER))
    if args.files:
        for i in range(args.files):
            write_unit(os.path.join(args.out, "unit%03d.bos" % i), random.Random(args.seed + 1 + i), args.lines,
                       tune_count)
    else:
        write_unit(os.path.join(args.out, args.name), random.Random(args.seed + 1), args.lines, tune_count)
    return 0


if __name__ == "__main__":
    sys.exit(main())
