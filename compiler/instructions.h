// The instruction set of the compiled script code, defined once.
//
// Every code word the compiler emits is either one of these opcodes or an
// operand word following one. The emitter, the COB reader, the listing and
// the disassembler all read this one table.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace marlo::core {

enum class Opcode : std::uint32_t {
  MOVE = 0x10001000,
  TURN = 0x10002000,
  SPIN = 0x10003000,
  STOP_SPIN = 0x10004000,
  SHOW = 0x10005000,
  HIDE = 0x10006000,
  CACHE = 0x10007000,
  DONT_CACHE = 0x10008000,
  MOVE_NOW = 0x1000B000,
  TURN_NOW = 0x1000C000,
  SHADE = 0x1000D000,
  DONT_SHADE = 0x1000E000,
  EMIT_SFX = 0x1000F000,
  WAIT_FOR_TURN = 0x10011000,
  WAIT_FOR_MOVE = 0x10012000,
  SLEEP = 0x10013000,
  PUSH_CONSTANT = 0x10021001,
  PUSH_LOCAL = 0x10021002,
  PUSH_STATIC = 0x10021004,
  ALLOCATE_STACK = 0x10022000,
  POP_LOCAL = 0x10023002,
  POP_STATIC = 0x10023004,
  ADD = 0x10031000,
  SUBTRACT = 0x10032000,
  MULTIPLY = 0x10033000,
  DIVIDE = 0x10034000,
  MOD = 0x10034001,
  BITWISE_AND = 0x10035000,
  BITWISE_OR = 0x10036000,
  BITWISE_XOR = 0x10037000,
  BITWISE_NOT = 0x10038000,
  RAND = 0x10041000,
  GET_VALUE = 0x10042000,
  GET_VALUE_ARGS = 0x10043000,
  LESS = 0x10051000,
  LESS_EQUAL = 0x10052000,
  GREATER = 0x10053000,
  GREATER_EQUAL = 0x10054000,
  EQUAL = 0x10055000,
  NOT_EQUAL = 0x10056000,
  LOGICAL_AND = 0x10057000,
  LOGICAL_OR = 0x10058000,
  LOGICAL_XOR = 0x10059000,
  LOGICAL_NOT = 0x1005A000,
  START_SCRIPT = 0x10061000,
  CALL_SCRIPT = 0x10062000,
  JUMP = 0x10064000,
  RETURN = 0x10065000,
  JUMP_IF_FALSE = 0x10066000,
  SIGNAL = 0x10067000,
  SET_SIGNAL_MASK = 0x10068000,
  EXPLODE = 0x10071000,
  SET_VALUE = 0x10082000,
  ATTACH_UNIT = 0x10083000,
  DROP_UNIT = 0x10084000,
};

// What an operand word stands for; the disassembler decodes by it.
enum class OperandKind : std::uint8_t { None, Piece, Axis, Value, Local, Static, Script, Count, Target };

struct InstructionInfo {
  std::string_view name;
  Opcode opcode;
  int operandCount;
  std::array<OperandKind, 2> operands;
};

namespace detail {
using K = OperandKind;
inline constexpr std::array<OperandKind, 2> kNone{K::None, K::None};
inline constexpr std::array<OperandKind, 2> kPiece{K::Piece, K::None};
inline constexpr std::array<OperandKind, 2> kPieceAxis{K::Piece, K::Axis};
}  // namespace detail

// The last four arithmetic and logical ones (MOD, BITWISE_XOR, BITWISE_NOT,
// LOGICAL_XOR) come only from the extended language.
inline constexpr std::array<InstructionInfo, 55> kInstructions{{
    {"MOVE", Opcode::MOVE, 2, detail::kPieceAxis},
    {"TURN", Opcode::TURN, 2, detail::kPieceAxis},
    {"SPIN", Opcode::SPIN, 2, detail::kPieceAxis},
    {"STOP_SPIN", Opcode::STOP_SPIN, 2, detail::kPieceAxis},
    {"SHOW", Opcode::SHOW, 1, detail::kPiece},
    {"HIDE", Opcode::HIDE, 1, detail::kPiece},
    {"CACHE", Opcode::CACHE, 1, detail::kPiece},
    {"DONT_CACHE", Opcode::DONT_CACHE, 1, detail::kPiece},
    {"MOVE_NOW", Opcode::MOVE_NOW, 2, detail::kPieceAxis},
    {"TURN_NOW", Opcode::TURN_NOW, 2, detail::kPieceAxis},
    {"SHADE", Opcode::SHADE, 1, detail::kPiece},
    {"DONT_SHADE", Opcode::DONT_SHADE, 1, detail::kPiece},
    {"EMIT_SFX", Opcode::EMIT_SFX, 1, detail::kPiece},
    {"WAIT_FOR_TURN", Opcode::WAIT_FOR_TURN, 2, detail::kPieceAxis},
    {"WAIT_FOR_MOVE", Opcode::WAIT_FOR_MOVE, 2, detail::kPieceAxis},
    {"SLEEP", Opcode::SLEEP, 0, detail::kNone},
    {"PUSH_CONSTANT", Opcode::PUSH_CONSTANT, 1, {detail::K::Value, detail::K::None}},
    {"PUSH_LOCAL", Opcode::PUSH_LOCAL, 1, {detail::K::Local, detail::K::None}},
    {"PUSH_STATIC", Opcode::PUSH_STATIC, 1, {detail::K::Static, detail::K::None}},
    {"ALLOCATE_STACK", Opcode::ALLOCATE_STACK, 0, detail::kNone},
    {"POP_LOCAL", Opcode::POP_LOCAL, 1, {detail::K::Local, detail::K::None}},
    {"POP_STATIC", Opcode::POP_STATIC, 1, {detail::K::Static, detail::K::None}},
    {"ADD", Opcode::ADD, 0, detail::kNone},
    {"SUBTRACT", Opcode::SUBTRACT, 0, detail::kNone},
    {"MULTIPLY", Opcode::MULTIPLY, 0, detail::kNone},
    {"DIVIDE", Opcode::DIVIDE, 0, detail::kNone},
    {"MOD", Opcode::MOD, 0, detail::kNone},
    {"BITWISE_AND", Opcode::BITWISE_AND, 0, detail::kNone},
    {"BITWISE_OR", Opcode::BITWISE_OR, 0, detail::kNone},
    {"BITWISE_XOR", Opcode::BITWISE_XOR, 0, detail::kNone},
    {"BITWISE_NOT", Opcode::BITWISE_NOT, 0, detail::kNone},
    {"RAND", Opcode::RAND, 0, detail::kNone},
    {"GET_VALUE", Opcode::GET_VALUE, 0, detail::kNone},
    {"GET_VALUE_ARGS", Opcode::GET_VALUE_ARGS, 0, detail::kNone},
    {"LESS", Opcode::LESS, 0, detail::kNone},
    {"LESS_EQUAL", Opcode::LESS_EQUAL, 0, detail::kNone},
    {"GREATER", Opcode::GREATER, 0, detail::kNone},
    {"GREATER_EQUAL", Opcode::GREATER_EQUAL, 0, detail::kNone},
    {"EQUAL", Opcode::EQUAL, 0, detail::kNone},
    {"NOT_EQUAL", Opcode::NOT_EQUAL, 0, detail::kNone},
    {"LOGICAL_AND", Opcode::LOGICAL_AND, 0, detail::kNone},
    {"LOGICAL_OR", Opcode::LOGICAL_OR, 0, detail::kNone},
    {"LOGICAL_XOR", Opcode::LOGICAL_XOR, 0, detail::kNone},
    {"LOGICAL_NOT", Opcode::LOGICAL_NOT, 0, detail::kNone},
    {"START_SCRIPT", Opcode::START_SCRIPT, 2, {detail::K::Script, detail::K::Count}},
    {"CALL_SCRIPT", Opcode::CALL_SCRIPT, 2, {detail::K::Script, detail::K::Count}},
    {"JUMP", Opcode::JUMP, 1, {detail::K::Target, detail::K::None}},
    {"RETURN", Opcode::RETURN, 0, detail::kNone},
    {"JUMP_IF_FALSE", Opcode::JUMP_IF_FALSE, 1, {detail::K::Target, detail::K::None}},
    {"SIGNAL", Opcode::SIGNAL, 0, detail::kNone},
    {"SET_SIGNAL_MASK", Opcode::SET_SIGNAL_MASK, 0, detail::kNone},
    {"EXPLODE", Opcode::EXPLODE, 1, detail::kPiece},
    {"SET_VALUE", Opcode::SET_VALUE, 0, detail::kNone},
    {"ATTACH_UNIT", Opcode::ATTACH_UNIT, 0, detail::kNone},
    {"DROP_UNIT", Opcode::DROP_UNIT, 0, detail::kNone},
}};

// The instruction whose opcode word is `word`, or nullptr when it is none.
constexpr const InstructionInfo* FindInstruction(std::uint32_t word) {
  for (const auto& info : kInstructions)
    if (static_cast<std::uint32_t>(info.opcode) == word) return &info;
  return nullptr;
}

constexpr const InstructionInfo& InstructionOf(Opcode op) { return *FindInstruction(static_cast<std::uint32_t>(op)); }

namespace detail {
constexpr bool TableIsConsistent() {
  for (std::size_t i = 0; i < kInstructions.size(); ++i) {
    const auto& info = kInstructions[i];
    if (info.operandCount < 0 || info.operandCount > 2) return false;
    for (int k = 0; k < 2; ++k)
      if ((k < info.operandCount) != (info.operands[k] != OperandKind::None)) return false;
    for (std::size_t j = i + 1; j < kInstructions.size(); ++j)
      if (kInstructions[j].opcode == info.opcode || kInstructions[j].name == info.name) return false;
  }
  return true;
}
static_assert(TableIsConsistent(), "every opcode and name once, operand kinds matching the operand count");
}  // namespace detail

}  // namespace marlo::core
