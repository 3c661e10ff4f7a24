// Fuzz target: the input bytes are an assembler source, assembled in the
// dialect it is recognised as and again as a Keil A51 and an as31 source. Include files come
// from memory, never from disk: the input split at its first form feed
// (\f) gives the source and a file "a.inc"; "b.inc" includes a.inc, so
// nesting and cycles are reachable, and macros and conditionals are in the
// source itself. Besides the sanitizers' own checks, the assembly's promises
// are asserted: every error lies on a line of its file, the address map stays
// in the code space and matches the image, the listing closes with its true
// error count, and the map read back from a fully listed listing is the one
// the assembler made. Assembled as a module, its object file reads back to
// the same module and links.
#include "assembler/Assembler.h"
#include "assembler/Linker.h"
#include "assembler/ObjectFile.h"

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

void Check(std::string_view source, const std::string& include, const m51asm::AssembleResult& r);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\f');
    const std::string_view source = input.substr(0, split);
    const std::string include = split == std::string_view::npos ? std::string() : std::string(input.substr(split + 1));
    m51asm::AssembleOptions options;
    options.ignoreNolist = true;
    options.readFile = [&include](const std::string& path, std::string& bytes) {
        if (path == "a.inc")
            bytes = include;
        else if (path == "b.inc")
            bytes = "NOP\n$INCLUDE(a.inc)\n";
        else
            return false;
        return true;
    };
    // The source in the dialect it is recognised as, then as Keil A51 and as31 sources.
    for (const m51asm::Dialect dialect : {m51asm::Dialect::Auto, m51asm::Dialect::Keil, m51asm::Dialect::As31}) {
        options.dialect = dialect;
        Check(source, include, m51asm::Assemble(source, options));
    }
    // As a module: its object file reads back to the same module, and links.
    options.dialect = m51asm::Dialect::Auto;
    options.module = true;
    const m51asm::AssembleResult module = m51asm::Assemble(source, options);
    if (module.object) {
        m51asm::ObjectModule back;
        std::string error;
        check(m51asm::ReadObject(m51asm::WriteObject(*module.object), back, error));
        check(back == *module.object);
        check(m51asm::Link({back}).program.image.size() == 0x10000);
    }
    return 0;
}
namespace {

void Check(std::string_view source, const std::string& include, const m51asm::AssembleResult& r)
{
    const auto lines = [&](const std::string& file) {
        const std::string_view text = file.empty() ? source : file == "a.inc" ? std::string_view(include) : "NOP\n$INCLUDE(a.inc)\n";
        const auto n = static_cast<int>(m51asm::SplitLines(text.substr(0, text.find('\x1A'))).size());
        return n > 0 ? n : 1;
    };
    for (const m51asm::AsmError& e : r.warnings)
        check(e.line >= 1 && e.line <= lines(e.file));
    for (const m51asm::AsmError& e : r.errors) {
        check(e.line >= 1 && e.line <= lines(e.file));
        check(e.file.empty() || e.file == "a.inc" || e.file == "b.inc");
        check(!e.message.empty());
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
}

} // namespace
