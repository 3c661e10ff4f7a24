// Fuzz target: the input is a *.m51test file; its sendfile reads a fixed
// file from memory. Every error is "FILE:LINE: message" without control bytes.
#include "fuzz/ReaderFuzzer.h"
#include "insight/TestFile.h"

#include <algorithm>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto read = [](const std::string& path, std::string& why) -> std::optional<std::string> {
        if (path.ends_with("data.bin"))
            return std::string("\x01\x02\r\n", 4);
        why = "No such file or directory";
        return std::nullopt;
    };
    const insight::TestFile test = insight::ParseTestFile(text, "t.m51test", read, true);
    for (const std::string& e : test.errors) {
        check(e.rfind("t.m51test:", 0) == 0);
        check(std::none_of(e.begin(), e.end(), [](char c) { return c == '\x1B' || c == '\n' || c == '\r'; }));
    }
    return 0;
}
