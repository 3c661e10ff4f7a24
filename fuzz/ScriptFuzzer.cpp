// Fuzz target: the input is a serial script for m51sim --serial-script.
#include "fuzz/ReaderFuzzer.h"
#include "simrun/SerialScript.h"

#include <algorithm>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto read = [](const std::string& path, std::string& why) -> std::optional<std::string> {
        if (path == "data.bin")
            return std::string("HEX\n");
        why = "No such file or directory";
        return std::nullopt;
    };
    const m51sim::SerialScript script = m51sim::ParseSerialScript(text, "s.txt", m51sim::WholeFiles(read));
    check(script.error.empty() || script.error.rfind("s.txt:", 0) == 0);
    check(std::none_of(script.error.begin(), script.error.end(), [](char c) { return c == '\x1B' || c == '\n'; }));
    return 0;
}
