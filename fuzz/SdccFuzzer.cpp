// Fuzz target: the input bytes are a .cdb file as SDCC writes it, and also
// SDCC's printed messages. Besides the sanitizers' own checks, the readers'
// promises are asserted: an error names a line of the input, every type has
// a base type, and the messages stay within their bounds.
#include "sdcc/CdbFile.h"
#include "sdcc/SdccMessages.h"

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
    const auto messages = sdcc::ReadMessages(input, 50);
    if (messages.size() > 51)
        std::abort();
    for (const sdcc::Message& message : messages)
        if (message.text.size() > 1000 || message.line < 0 || message.column < 0)
            std::abort();
    return 0;
}
