#include "bench/bench_text.h"

#include <algorithm>
#include <array>
#include <random>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace marlo::bench {
namespace {

constexpr std::array<std::string_view, 24> kPieces = {
    "base",     "hull",     "turret",   "sleeve", "barrel", "flare",   "antenna", "wheel_l1",
    "wheel_l2", "wheel_r1", "wheel_r2", "door_l", "door_r", "pad",     "nano_l",  "nano_r",
    "beam",     "crane",    "hook",     "lamp",   "wake1",  "exhaust", "gear",    "launcher"};
constexpr std::array<std::string_view, 16> kStatics = {
    "bmoving", "baiming", "bbuilding", "bopen",   "gun_heat", "restore_delay", "spray",    "throttle",
    "bflying", "shots",   "reload",    "counter", "fuel",     "armor",         "lift_now", "last_hit"};
constexpr std::array<std::string_view, 8> kLocals = {"heading", "pitch", "delay", "speed",
                                                     "target",  "step",  "gap",   "sweep"};
constexpr std::array<std::string_view, 8> kNumberDefines = {"SIG_AIM",   "SIG_MOVE", "RESTORE_DELAY", "AIM_DELAY",
                                                            "SFX_FLASH", "LEVEL",    "TUNE_0001",     "TUNE_0002"};
constexpr std::array<std::string_view, 5> kValueDefines = {"TURRET_SPEED", "AIM_SPEED", "DOOR_OPEN", "SMOKE_BLACK",
                                                           "HEALTH_LOW"};
constexpr std::array<std::string_view, 11> kOperators = {"!=", "==", ">=", "<=", "<", ">", "&", "|", "&&", "||", "!"};
constexpr std::array<std::string_view, 3> kAxes = {"x-axis", "y-axis", "z-axis"};
constexpr std::array<std::string_view, 6> kScriptBases = {"Aim", "Fire", "Walk", "Smoke", "Build", "Sway"};

// How far ahead a call may reach; the tail defines every script so called.
constexpr int kForwardReach = 16;

std::string ScriptName(int index) {
  return std::string(kScriptBases[static_cast<std::size_t>(index) % kScriptBases.size()]) + std::to_string(index);
}

int ScriptParams(int index) { return index % 3; }

class Writer {
 public:
  explicit Writer(std::uint32_t seed) : rng_(seed) {}

  std::vector<std::string> Unit(int lines) {
    out_ = {"// Benchmark unit.", "/* Generated in memory; the same shapes as", "   the files of bench/generate.py. */",
            "#include \"bench_defs.h\"", ""};
    std::string pieces = "piece ";
    for (std::size_t i = 0; i < kPieces.size(); ++i) pieces += (i ? ", " : " ") + std::string(kPieces[i]);
    out_.push_back(pieces + ";");
    std::string statics = "static-var ";
    for (std::size_t i = 0; i < kStatics.size(); ++i) statics += (i ? ", " : " ") + std::string(kStatics[i]);
    out_.push_back(statics + ";");
    out_.insert(out_.end(), {"", "Create ()", "{", "  hide flare;", "  start-script " + ScriptName(0) + "();", "}"});

    const int reserve = kForwardReach * 4 + 4;
    for (;;) {
      locals_.clear();
      index_ = next_;
      std::vector<std::string> script = Script(next_, 3 + Pick(25));
      if (static_cast<int>(out_.size() + script.size()) > lines - reserve) break;
      out_.insert(out_.end(), script.begin(), script.end());
      ++next_;
    }
    for (; next_ <= highestCalled_; ++next_) {
      std::string params;
      for (int i = 0; i < ScriptParams(next_); ++i) params += (i ? ", a" : "a") + std::to_string(i);
      out_.insert(out_.end(), {ScriptName(next_) + " (" + params + ")", "{", "  sleep 10;", "}"});
    }
    if (static_cast<int>(out_.size()) > lines) throw std::invalid_argument("too few lines for a unit");
    while (static_cast<int>(out_.size()) < lines) out_.push_back("// end of unit");
    return std::move(out_);
  }

 private:
  int Pick(int n) { return static_cast<int>(rng_() % static_cast<std::uint32_t>(n)); }
  bool Chance(int percent) { return Pick(100) < percent; }
  template <std::size_t N>
  std::string One(const std::array<std::string_view, N>& list) {
    return std::string(list[static_cast<std::size_t>(Pick(N))]);
  }

  std::string Variable() {
    if (!locals_.empty() && Chance(60))
      return locals_[static_cast<std::size_t>(Pick(static_cast<int>(locals_.size())))];
    return One(kStatics);
  }
  std::string Piece() { return std::string(kPieces[1 + static_cast<std::size_t>(Pick(kPieces.size() - 1))]); }
  std::string Number() { return std::to_string(Chance(60) ? Pick(100) : Pick(5000)); }
  std::string Angle() { return Chance(20) ? "TURRET_SPEED" : "<" + std::to_string(Pick(180) - 45) + ">"; }
  std::string Linear() {
    return Chance(20) ? "DOOR_OPEN" : "[" + std::to_string(Pick(20)) + "." + std::to_string(Pick(10)) + "]";
  }

  std::string Factor(int depth) {
    const int r = Pick(100);
    if (r < 30) return Variable();
    if (r < 48) return Number();
    if (r < 54) return Angle();
    if (r < 58) return Linear();
    if (r < 64) return One(kNumberDefines);
    if (r < 67) return One(kValueDefines);
    if (r < 71) return "get " + std::to_string(1 + Pick(6));
    if (r < 74) return "get " + std::to_string(7 + Pick(7)) + "(" + Piece() + ")";
    if (r < 76) return "get 14(" + Variable() + ", " + Number() + ")";
    if (r < 80) return "rand(" + Number() + ", " + Number() + ")";
    if (r < 82) return Chance(50) ? "true" : "false";
    if (depth < 2 && r < 88) return "(" + Expression(depth + 1) + ")";
    if (depth < 2 && r < 92) return (Chance(50) ? "!(" : "not (") + Expression(depth + 1) + ")";
    return Variable();
  }

  std::string Expression(int depth = 0) {
    std::string text = Factor(depth);
    if (Chance(25)) text += (Chance(50) ? " * " : " / ") + Factor(depth);
    if (Chance(35)) text += (Chance(50) ? " + " : " - ") + Factor(depth);
    if (Chance(20)) text += " " + One(kOperators) + " " + Factor(depth);
    return text;
  }

  std::string Call() {
    int target = index_ + 1 + Pick(kForwardReach);
    if (index_ > 0 && Chance(30)) target = Pick(index_);
    highestCalled_ = std::max(highestCalled_, target);
    std::string args;
    for (int i = 0; i < ScriptParams(target); ++i) args += (i ? ", " : "") + Variable();
    return (Chance(50) ? "call-script " : "start-script ") + ScriptName(target) + "(" + args + ");";
  }

  std::string Statement() {
    const int r = Pick(100);
    if (r < 18) return Variable() + " = " + Expression() + ";";
    if (r < 30)
      return "turn " + Piece() + " to " + One(kAxes) + " " + Angle() +
             (Chance(30) ? " now;" : " speed " + Angle() + ";");
    if (r < 40)
      return "move " + Piece() + " to " + One(kAxes) + " " + Linear() +
             (Chance(30) ? " now;" : " speed " + Linear() + ";");
    if (r < 44) return "wait-for-turn " + Piece() + " around " + One(kAxes) + ";";
    if (r < 47) return "wait-for-move " + Piece() + " along " + One(kAxes) + ";";
    if (r < 51)
      return "spin " + Piece() + " around " + One(kAxes) + " speed " + Angle() +
             (Chance(50) ? " accelerate " + Angle() : "") + ";";
    if (r < 54)
      return "stop-spin " + Piece() + " around " + One(kAxes) + (Chance(50) ? " decelerate " + Angle() : "") + ";";
    if (r < 58) return (Chance(50) ? "hide " : "show ") + Piece() + ";";
    if (r < 61) {
      constexpr std::array<std::string_view, 4> kWords = {"cache ", "dont-cache ", "shade ", "dont-shade "};
      return One(kWords) + Piece() + ";";
    }
    if (r < 64) return "emit-sfx " + std::string(Chance(50) ? "SMOKE_BLACK" : "1024") + " from " + Piece() + ";";
    if (r < 66) return "explode " + Piece() + " type " + (Chance(50) ? "4 | 8" : "32") + ";";
    if (r < 70) return "signal " + std::string(Chance(50) ? "SIG_AIM" : "4") + ";";
    if (r < 73) return "set-signal-mask " + std::string(Chance(50) ? "SIG_MOVE" : "0") + ";";
    if (r < 79) return "sleep " + (Chance(50) ? Number() : std::string("AIM_DELAY")) + ";";
    if (r < 82) return "set " + std::to_string(Chance(50) ? 5 : 18) + " to " + Expression() + ";";
    if (r < 83) return "attach-unit " + Variable() + " to " + Piece() + ";";
    if (r < 84) return "drop-unit " + Variable() + ";";
    if (r < 85) return Chance(50) ? "get " + std::to_string(1 + Pick(6)) + ";" : "rand " + Number() + ";";
    if (r < 92) return Call();
    return Variable() + " = " + Expression() + ";";
  }

  void Block(std::vector<std::string>& lines, int indent, int depth, int count) {
    const std::string pad(static_cast<std::size_t>(2 * indent), ' ');
    for (int n = 0; n < count; ++n) {
      const int r = Pick(100);
      if (depth < 2 && r < 10) {
        lines.push_back(pad + (Chance(70) ? "if (" : "while (") + Variable() + " " + One(kOperators) + " " + Number() +
                        ")");
        lines.push_back(pad + "{");
        Block(lines, indent + 1, depth + 1, 1 + Pick(3));
        lines.push_back(pad + "  sleep 100;");
        lines.push_back(pad + "}");
      } else if (depth == 0 && r < 13) {
        lines.insert(lines.end(),
                     {"#ifdef USE_WAKE", pad + "emit-sfx 2 from wake1;", "#else", pad + "sleep AIM_DELAY;", "#endif"});
      } else if (r < 15) {
        lines.push_back("");
      } else if (r < 19) {
        lines.push_back(pad + "// keep the turret level while the hull rocks");
      } else if (r < 27) {
        lines.push_back(pad + Statement() + "  // tuned by hand");
      } else {
        lines.push_back(pad + Statement());
      }
    }
  }

  std::vector<std::string> Script(int index, int size) {
    std::vector<std::string> lines;
    std::string params;
    for (int i = 0; i < ScriptParams(index); ++i) {
      locals_.push_back("p" + std::to_string(i));
      params += (i ? ", " : "") + locals_.back();
    }
    if (Chance(15)) lines.insert(lines.end(), {"/* " + ScriptName(index) + ": from a template.", "   Keeps step. */"});
    lines.push_back(ScriptName(index) + " (" + params + ")");
    lines.push_back("{");
    if (Chance(50)) {
      const std::string name(kLocals[static_cast<std::size_t>(Pick(kLocals.size()))]);
      lines.push_back("  var " + name + ";");
      locals_.push_back(name);
    }
    Block(lines, 1, 0, size);
    if (Chance(30)) lines.push_back("  return (" + Expression() + ");");
    lines.push_back("}");
    lines.push_back("");
    return lines;
  }

  std::mt19937 rng_;
  std::vector<std::string> out_;
  std::vector<std::string> locals_;
  int index_ = 0;
  int next_ = 0;
  int highestCalled_ = 0;
};

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace

BenchText MakeBenchText(int lines, std::uint32_t seed) {
  std::vector<std::string> header = {"#ifndef BENCH_DEFS_H",
                                     "#define BENCH_DEFS_H",
                                     "#define SIG_AIM 2",
                                     "#define SIG_MOVE 4",
                                     "#define RESTORE_DELAY 3000",
                                     "#define SFX_FLASH 1024",
                                     "#define LEVEL 3",
                                     "#define TURRET_SPEED <90>",
                                     "#define AIM_SPEED (TURRET_SPEED * 2)",
                                     "#define DOOR_OPEN [2.5]",
                                     "#define SMOKE_BLACK (256 | 2)",
                                     "#define HEALTH_LOW (get 4 < 50)",
                                     "#define USE_WAKE",
                                     "#ifdef FAST_AIM",
                                     "#define AIM_DELAY 50",
                                     "#else",
                                     "#define AIM_DELAY 150",
                                     "#endif"};
  std::mt19937 rng(seed);
  for (int i = 0; i < std::max(20, lines / 1000); ++i) {
    std::string name = std::to_string(i);
    name.insert(0, 4 - std::min<std::size_t>(4, name.size()), '0');
    header.push_back("#define TUNE_" + name + " " + std::to_string(1 + rng() % 5000));
  }
  header.push_back("#endif");

  BenchText text;
  text.header = Join(header);
  text.main = Join(Writer(seed + 1).Unit(lines));
  return text;
}

}  // namespace marlo::bench
