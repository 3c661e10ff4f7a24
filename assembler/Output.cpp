// The assembler's text outputs: Intel HEX and the listing, and the reader that
// takes the address map back out of a listing.
//
// Listing rows have fixed columns, so that the map can be read back:
//   0-3 address (4 hex digits), 6-13 up to four code bytes, 15-21 the line
//   number, from 24 on the source line as written. Code of more than four
//   bytes continues on rows with address and bytes only. Errors follow their
//   line as "*** ERROR: text"; the symbol table and the "N errors" line close it.
#include "Context.h"

#include <algorithm>

namespace m51asm {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";
constexpr std::string_view kHeading = "LOC   OBJ         LINE  SOURCE";
constexpr std::string_view kSymbolHeading = "SYMBOL TABLE";

void PutHex2(std::string& out, std::uint8_t b)
{
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
}

void PutHex4(std::string& out, std::uint32_t v)
{
    PutHex2(out, static_cast<std::uint8_t>(v >> 8));
    PutHex2(out, static_cast<std::uint8_t>(v));
}

// `value` right-aligned in `width` columns.
void PutNumber(std::string& out, std::uint32_t value, int width)
{
    char buffer[12];
    int n = 0;
    do {
        buffer[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    for (int i = n; i < width; ++i)
        out += ' ';
    while (n)
        out += buffer[--n];
}

bool HasAddress(const Statement& st)
{
    switch (st.kind) {
    case Kind::Instruction:
    case Kind::Db:
    case Kind::Dw:
    case Kind::Ds:
        return !st.failed;
    case Kind::Label:
        return st.label >= 0;
    default:
        return false;
    }
}

// One row: address (or blanks), up to four bytes, line number (0: none), text.
// A defined value (EQU, BIT ...) shows in the bytes' place as "=VVVV".
void PutRow(std::string& out, bool hasAddress, std::uint32_t address, const std::uint8_t* bytes, std::uint32_t count,
            std::int32_t line, std::string_view text, const SymbolEntry* defined = nullptr)
{
    if (hasAddress)
        PutHex4(out, address);
    else
        out.append(4, ' ');
    out.append(2, ' ');
    if (defined) {
        out += '=';
        PutHex4(out, static_cast<std::uint32_t>(defined->value));
        out.append(3, ' ');
    } else {
        for (std::uint32_t i = 0; i < 4; ++i) {
            if (i < count)
                PutHex2(out, bytes[i]);
            else
                out.append(2, ' ');
        }
    }
    out += ' ';
    if (line > 0) {
        PutNumber(out, static_cast<std::uint32_t>(line), 7);
        if (!text.empty()) {
            out.append(2, ' ');
            out.append(text);
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    out += "\r\n";
}

const char* TypeName(SymbolKind k)
{
    switch (k) {
    case SymbolKind::Code: return "C ADDR";
    case SymbolKind::Data: return "D ADDR";
    case SymbolKind::IData: return "I ADDR";
    case SymbolKind::XData: return "X ADDR";
    case SymbolKind::Bit: return "B ADDR";
    case SymbolKind::Register: return "REG   ";
    case SymbolKind::Number: break;
    }
    return "NUMB  ";
}

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int HexValue(char c)
{
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

} // namespace

std::string MakeHex(const AssembleResult& r, const std::vector<std::uint64_t>& writtenBits)
{
    std::string out;
    for (std::uint32_t block = 0; block < 0x10000; block += 16) {
        if (writtenBits[block >> 6] == 0) {
            block += 48;  // the rest of these 64 addresses is empty too
            continue;
        }
        std::uint32_t a = block;
        while (a < block + 16) {
            if (!r.written[a]) {
                ++a;
                continue;
            }
            std::uint32_t end = a;
            while (end < block + 16 && r.written[end])
                ++end;
            const auto count = static_cast<std::uint8_t>(end - a);
            std::uint8_t sum = static_cast<std::uint8_t>(count + (a >> 8) + (a & 0xFF));
            out += ':';
            PutHex2(out, count);
            PutHex4(out, a);
            out += "00";
            for (std::uint32_t i = a; i < end; ++i) {
                PutHex2(out, r.image[i]);
                sum = static_cast<std::uint8_t>(sum + r.image[i]);
            }
            PutHex2(out, static_cast<std::uint8_t>(0x100 - sum));
            out += "\r\n";
            a = end;
        }
    }
    out += ":00000001FF\r\n";
    return out;
}

std::string MakeListing(const Context& ctx, const AssembleResult& r)
{
    std::string out;
    out.reserve(ctx.source.size() + ctx.statements.size() * 30 + r.symbols.size() * 48 + 4096);
    out += "m51as 8051 assembler";
    if (!ctx.options.fileName.empty()) {
        out += "    ";
        out += ctx.options.fileName;
    }
    out += "\r\n\r\n";
    out += kHeading;
    out += "\r\n\r\n";

    auto statement = ctx.statements.begin();
    auto error = r.errors.begin();
    auto listSwitch = ctx.listSwitches.begin();
    bool listing = true;
    ForEachLine(ctx.source, [&](std::string_view text, std::int32_t lineNo) {
        bool turnOff = false;
        for (; listSwitch != ctx.listSwitches.end() && listSwitch->first == lineNo; ++listSwitch) {
            if (listSwitch->second)
                listing = true;
            else
                turnOff = true;
        }
        const bool hasError = error != r.errors.end() && error->line == lineNo;
        if (listing || hasError || ctx.options.ignoreNolist) {
            const Statement* st = nullptr;
            while (statement != ctx.statements.end() && statement->line < lineNo)
                ++statement;
            if (statement != ctx.statements.end() && statement->line == lineNo)
                st = &*statement;
            if (!st) {
                PutRow(out, false, 0, nullptr, 0, lineNo, text);
            } else {
                const std::uint32_t fit =
                    st->address >= 0x10000 ? 0 : std::min(st->emitted, 0x10000 - st->address);
                const std::uint8_t* bytes = ctx.bytes.data() + st->firstByte;
                const bool addr = HasAddress(*st) && st->address < 0x10000;
                const SymbolEntry* defined = nullptr;
                if (st->name >= 0 && !st->failed) {
                    const SymbolEntry& e = ctx.symbols[st->name];
                    if (e.known && !e.redefinable && e.value >= 0 && e.value <= 0xFFFF)
                        defined = &e;
                }
                PutRow(out, addr, st->address, bytes, std::min<std::uint32_t>(fit, 4), lineNo, text, defined);
                for (std::uint32_t k = 4; k < fit; k += 4)
                    PutRow(out, true, st->address + k, bytes + k, std::min<std::uint32_t>(fit - k, 4), 0, {});
            }
        }
        for (; error != r.errors.end() && error->line <= lineNo; ++error) {
            out += "*** ERROR: ";
            out += error->message;
            out += "\r\n";
        }
        if (turnOff)
            listing = false;
        return true;
    });
    for (; error != r.errors.end(); ++error) {
        out += "*** ERROR: ";
        out += error->message;
        out += "\r\n";
    }

    out += "\r\n";
    out += kSymbolHeading;
    out += "\r\n\r\nNAME                       TYPE    VALUE\r\n";
    for (const Symbol& sym : r.symbols) {
        const std::size_t rowStart = out.size();
        out += sym.name;
        out += ' ';
        for (std::size_t col = out.size() - rowStart; col < 26; ++col)
            out += col % 2 ? ' ' : '.';
        out += ' ';
        out += TypeName(sym.kind);
        out += "  ";
        if (sym.kind == SymbolKind::Register) {
            if (sym.value == 8) {
                out += 'A';
            } else {
                out += 'R';
                out += static_cast<char>('0' + (sym.value & 7));
            }
        } else {
            out += Hex4(static_cast<std::uint32_t>(sym.value));
        }
        if (sym.redefinable)
            out += "  SET";
        out += "\r\n";
    }
    out += "\r\n";
    out += std::to_string(r.errors.size());
    out += r.errors.size() == 1 ? " error\r\n" : " errors\r\n";
    return out;
}

std::vector<AddressMapEntry> ReadListingAddressMap(std::string_view text)
{
    std::vector<AddressMapEntry> map;
    bool inRows = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view row = text.substr(start, end - start);
        start = end + 1;
        if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
        if (!inRows) {
            inRows = row.substr(0, kHeading.size()) == kHeading;
            continue;
        }
        if (row == kSymbolHeading)
            break;
        if (row.size() < 8 || !IsHex(row[0]) || !IsHex(row[1]) || !IsHex(row[2]) || !IsHex(row[3]) ||
            row[4] != ' ' || row[5] != ' ')
            continue;
        std::uint32_t address = 0;
        for (int i = 0; i < 4; ++i)
            address = address * 16 + static_cast<std::uint32_t>(HexValue(row[static_cast<std::size_t>(i)]));
        std::uint32_t count = 0;
        std::size_t p = 6;
        while (p + 1 < row.size() && p < 14 && IsHex(row[p]) && IsHex(row[p + 1])) {
            ++count;
            p += 2;
        }
        if (count == 0)
            continue;
        while (p < row.size() && row[p] == ' ')
            ++p;
        std::int64_t line = 0;
        bool hasLine = false;
        while (p < row.size() && row[p] >= '0' && row[p] <= '9' && line < 1'000'000'000) {
            line = line * 10 + (row[p++] - '0');
            hasLine = true;
        }
        if (hasLine) {
            map.push_back({static_cast<int>(line), static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(count)});
        } else if (!map.empty() && map.back().address + map.back().size == address) {
            map.back().size = static_cast<std::uint16_t>(map.back().size + count);
        }
    }
    return map;
}

} // namespace m51asm
