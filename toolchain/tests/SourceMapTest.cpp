#include "toolchain/IntelHex.h"
#include "toolchain/SourceMap.h"

#include <gtest/gtest.h>

using namespace toolchain;

// Assembly lines 0-5 from M51 lines 0, 2, 2, 3, 5, 5; a label line (3) has no code.
TEST(SourceMap, ComposesLineMapAndAddresses)
{
    const std::vector<int> lineMap{0, 2, 2, 3, 5, 5};
    const std::vector<SourceMap::AddressEntry> addresses{
        {1, 0x00, 3}, {2, 0x30, 3}, {3, 0x33, 2}, {4, 0x35, 0}, {5, 0x35, 1}, {6, 0x36, 3}};
    const SourceMap map(lineMap, addresses);

    EXPECT_EQ(map.sourceLineAddress(2), 0x30);
    EXPECT_EQ(map.sourceLineAddress(5), 0x35);
    EXPECT_EQ(map.sourceLineAddress(3), std::nullopt);  // label only
    EXPECT_EQ(map.sourceLineAt(0x34), 2);               // inside the second instruction of line 2
    EXPECT_EQ(map.sourceLineAt(0x38), 5);
    EXPECT_EQ(map.sourceLineAt(0x39), std::nullopt);    // behind the code
    EXPECT_EQ(map.sourceLineAt(0x10), std::nullopt);
    EXPECT_EQ(map.asmLineAt(0x36), 5);
    EXPECT_EQ(map.sourceLineWithCode(3), 5);  // breakpoint on the label goes to the next code line
    EXPECT_EQ(map.sourceLineWithCode(6), std::nullopt);
    EXPECT_EQ(map.asmLineWithCode(3), 4);
    EXPECT_EQ(map.sourceLineStarts().size(), 3u);
}

TEST(SourceMap, AssemblyWithoutLineMap)
{
    const SourceMap map({}, {{1, 0x10, 2}, {2, 0x12, 1}});
    EXPECT_EQ(map.sourceLineAt(0x10), std::nullopt);
    EXPECT_EQ(map.asmLineAt(0x12), 1);
    EXPECT_TRUE(map.sourceLineStarts().empty());
}

TEST(IntelHex, ReadsRecordsAndRejectsDamage)
{
    const auto image = ReadIntelHex(":040000000200303298\r\n:01000B0032C2\n:00000001FF\n");
    ASSERT_EQ(image.size(), 0x10000u);
    EXPECT_EQ(image[0], 0x02);
    EXPECT_EQ(image[3], 0x32);
    EXPECT_EQ(image[0x0B], 0x32);
    EXPECT_EQ(image[0x0C], 0xFF);
    EXPECT_TRUE(ReadIntelHex(":040000000200303299\n").empty());  // checksum
    EXPECT_TRUE(ReadIntelHex("040000000200303298\n").empty());   // no colon
}

TEST(IntelHex, NamesTheLineAndWhatIsWrong)
{
    const struct {
        const char* text;
        int line;
        const char* reason;
    } cases[] = {
        {"\n:040000000200303299\n", 2, "wrong checksum"},
        {":00000001FG\n", 1, "hexadecimal digits only"},
        {"x\n", 1, "starts with a colon"},
        {":0100000612E7\n", 1, "unknown record type 06H"},
        {":020000040001F9\n:0100000012ED\n", 2, "record for 10000H lies beyond the 64 KB code memory"},
        {":02FFFF000102FD\n", 1, "record for FFFFH lies beyond"},
        {":020000021000EC\n:0100000012ED\n", 2, "record for 10000H"},
    };
    for (const auto& c : cases) {
        HexError error;
        EXPECT_TRUE(ReadIntelHex(c.text, error).empty()) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_NE(error.reason.find(c.reason), std::string::npos) << c.text << ": " << error.reason;
    }
    // Extended address records of zero and start addresses are harmless.
    HexError none;
    EXPECT_EQ(ReadIntelHex(":020000040000FA\n:0400000300000000F9\n:0100000012ED\n:00000001FF\n", none)[0], 0x12);
}
