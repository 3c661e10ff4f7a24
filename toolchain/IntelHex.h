#pragma once
// Reads an Intel HEX file into a 64 KB code image, so the debugger knows the
// program's instruction bytes without asking the simulator for them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace toolchain {

// Why a HEX file was refused: its line (1-based) and what is wrong there.
struct HexError {
    int line = 0;
    std::string reason;
};

// The 65536-byte image (unwritten bytes 0xFF) or an empty vector when a record
// is malformed, its checksum is wrong or it lies beyond the 64 KB code memory
// (extended address records); `error` then says where and why.
std::vector<uint8_t> ReadIntelHex(std::string_view text, HexError& error);
std::vector<uint8_t> ReadIntelHex(std::string_view text);

} // namespace toolchain
