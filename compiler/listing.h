// Text views of a COB file: the Assembly page's listing and the disassembly
// that `marloc --disasm` prints.
//
// Both read whatever bytes they are given. A damaged file gives a shorter
// listing, never an exception or a read outside the bytes:
//   - fewer than 44 bytes (no whole header): no lines at all;
//   - scripts are listed until one whose code-index or name-offset table entry
//     lies outside the bytes;
//   - a name offset outside the bytes gives an empty name, a name without its
//     zero byte runs to the end of the bytes;
//   - a script's code stops at the end of the bytes (a partial last word is
//     not shown);
//   - in a well-formed file every code word is shown once, so the listing
//     stops after as many code words as the bytes hold words: scripts whose
//     start indexes overlap cannot make it grow beyond that.
// Addresses are word indexes within the code region, the numbers that jump
// targets and script starts use.
#pragma once

#include <cstdint>
#include <istream>
#include <span>
#include <string>
#include <vector>

namespace marlo::core {

// Per script: 80 '/' characters, "//" + name, then one line per code word,
// "AAAA:WWWWWWWW" (address and word in upper-case hex, at least 4 and 8
// digits):
//
//   ////////...////////
//   //Create
//   0000:10021001
//   0001:00000000
//   0002:10065000
//
// The stream is read from position 0 (from where it stands if it cannot seek).
std::vector<std::string> BuildListing(std::istream& strm);
std::vector<std::string> BuildListing(std::span<const std::uint8_t> bytes);

// Like the listing, with one line per instruction instead of per word:
//
//   0003  10006000 00000002           HIDE flare
//   0005  10001000 00000000 00000001  MOVE base, y-axis
//   000C  10064000 00000004           JUMP 0004
//   000E  12345678                    .word 0x12345678
//
// address (4+ hex digits), two blanks, the instruction's words in hex padded
// to the width of three words, two blanks, then the name and its operands:
// pieces and scripts by name (`piece 7` / `script 7` when the file has none
// by that index), axes as x-axis/y-axis/z-axis, PUSH_CONSTANT values as signed
// decimal, `local 1`, `static 0`, counts in decimal and jump targets as hex
// word indexes in the address column's form. A word that is no opcode is
// shown as `.word 0x...`. An instruction whose operands run past its script's
// end shows the operands that exist followed by " (truncated)".
std::vector<std::string> BuildDisassembly(std::istream& strm);
std::vector<std::string> BuildDisassembly(std::span<const std::uint8_t> bytes);

}  // namespace marlo::core
