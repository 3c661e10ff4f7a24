// Fuzz target: the input is an object file. It is read or refused with a
// line and a reason; what is read is written back and read again to the
// same module, and links (alone and twice over) without breaking a promise:
// every problem names the module's source, the image stays 64 KB.
#include "assembler/Linker.h"
#include "assembler/ObjectFile.h"
#include "fuzz/ReaderFuzzer.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    m51asm::ObjectModule module;
    std::string error;
    if (!m51asm::ReadObject(text, module, error)) {
        check(error.rfind("line ", 0) == 0);
        return 0;
    }
    m51asm::ObjectModule again;
    check(m51asm::ReadObject(m51asm::WriteObject(module), again, error));
    check(again == module);
    const m51asm::LinkResult linked = m51asm::Link({module, module});
    check(linked.program.image.size() == 0x10000);
    for (const m51asm::AsmError& e : linked.program.errors)
        check(!e.message.empty() && (e.file == module.source || (e.file.empty() && e.line == 0)));
    return 0;
}
