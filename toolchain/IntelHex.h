#pragma once
// Reads an Intel HEX file into a 64 KB code image, so the debugger knows the
// program's instruction bytes without asking the simulator for them.

#include <cstdint>
#include <string_view>
#include <vector>

namespace toolchain {

// The 65536-byte image (unwritten bytes 0xFF) or an empty vector when a record
// is malformed or its checksum is wrong.
std::vector<uint8_t> ReadIntelHex(std::string_view text);

} // namespace toolchain
