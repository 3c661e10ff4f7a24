// Fuzz target: the input is an Intel HEX file. It reads into the 64 KB image
// or is refused with the line and the reason.
#include "toolchain/IntelHex.h"
#include "fuzz/ReaderFuzzer.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    toolchain::HexError error;
    const std::vector<uint8_t> image = toolchain::ReadIntelHex(text, error);
    if (image.empty()) {
        const auto lines = std::count(text.begin(), text.end(), '\n') + 1;
        check(error.line >= 1 && error.line <= lines && !error.reason.empty());
    } else {
        check(image.size() == 0x10000);
    }
    return 0;
}
