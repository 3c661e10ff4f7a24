// Fuzz target: the input bytes are a .cdb file as SDCC writes it. Besides the
// sanitizers' own checks, the reader's promises are asserted: an error names
// a line of the input, and every type it describes has a base type.
#include "sdcc/CdbFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const sdcc::CdbReadResult result = sdcc::ReadCdb(input, 4096);
    if (result.error) {
        const auto lines = std::count(input.begin(), input.end(), '\n') + 1;
        if (result.error->line < 1 || result.error->line > lines || result.error->message.empty())
            std::abort();
    }
    for (const sdcc::Symbol& symbol : result.file.symbols)
        if (symbol.type.chain.empty() || sdcc::DescribeType(symbol.type).empty())
            std::abort();
    return 0;
}
