// Fuzz target: the input is a breakpoint condition; a condition that parses
// is evaluated on a machine whose every byte is the input's first.
#include "simrun/BreakConditions.h"
#include "fuzz/ReaderFuzzer.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    static const m51dbg::SourceNames names =
        m51dbg::CollectSourceNames("DEFINE COUNT = IRAM[30]\nDEFINEBIT SENT = BIT[20]\nDEFINE LIMIT = XRAM[1000]\n");
    const m51dbg::ConditionParse parse = m51dbg::ParseCondition(text, names);
    check(!(parse.condition && !parse.error.empty()));
    if (parse.condition) {
        const uint8_t value = size ? data[0] : 0;
        m51dbg::EvaluateCondition(*parse.condition, [value](m51dbg::WatchSpace, unsigned) { return value; }, 0x1234);
    }
    return 0;
}
