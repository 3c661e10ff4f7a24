// Fuzz target: the input bytes are an assembler source. Besides the
// sanitizers' own checks, the assembly's promises are asserted: every error
// lies on a line of the source, the address map stays in the code space and
// matches the image, the listing closes with its true error count, and the
// map read back from a fully listed listing is the one the assembler made.
#include "Assembler.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view source(reinterpret_cast<const char*>(data), size);
    m51asm::AssembleOptions options;
    options.ignoreNolist = true;
    const m51asm::AssembleResult r = m51asm::Assemble(source, options);

    const auto lines = static_cast<int>(m51asm::SplitLines(source).size());
    int previous = 0;
    for (const m51asm::AsmError& e : r.errors) {
        check(e.line >= 1 && e.line <= (lines > 0 ? lines : 1));
        check(e.line >= previous);
        check(!e.message.empty());
        previous = e.line;
    }
    for (const m51asm::AddressMapEntry& entry : r.addressMap) {
        check(entry.size > 0 && entry.address + entry.size <= 0x10000);
        for (int i = 0; i < entry.size; ++i)
            check(r.written[entry.address + i]);
    }
    const std::string closing =
        "\r\n" + std::to_string(r.errors.size()) + (r.errors.size() == 1 ? " error\r\n" : " errors\r\n");
    check(r.listing.size() >= closing.size() &&
          r.listing.compare(r.listing.size() - closing.size(), closing.size(), closing) == 0);
    check(m51asm::ReadListingAddressMap(r.listing) == r.addressMap);
    check(r.Binary().size() == (r.empty ? 0u : r.highest - r.lowest + 1u));
    return 0;
}
