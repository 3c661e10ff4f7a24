// The assembler's text outputs: Intel HEX and the listing, and the reader that
// takes the address map back out of a listing.
//
// Listing rows have fixed columns, so that the map can be read back:
//   0-3 address (4 hex digits), 6-13 up to four code bytes, 15-21 the line
//   number, from 24 on the source line as written. A line of an include file
//   or a macro expansion has its mark from column 23 on ("=1" include depth,
//   "+1" macro depth, "=1+2" both), then a blank and the line; its number is
//   its line in the file it is written in. Code of more than four bytes
//   continues on rows with address and bytes only. Errors follow their line as
//   "*** ERROR: text"; the symbol table (with the lines that use each name,
//   after $XREF) and the "N errors" line close it.
#include "assembler/Context.h"

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

bool HasAddress(const Statement& st)
{
    switch (st.kind) {
    case Kind::Instruction:
    case Kind::Db:
    case Kind::Dw:
    case Kind::Ds:
    case Kind::Dbit:
        return !st.failed;
    case Kind::Label:
        return st.label >= 0;
    default:
        return false;
    }
}

// One row: address (or blanks), up to four bytes, line number (0: none), text.
// A defined value (EQU, BIT ...) shows in the bytes' place as "=VVVV".
// The columns before the text are put together in a buffer and appended at once.
void PutRow(std::string& out, bool hasAddress, std::uint32_t address, const std::uint8_t* bytes, std::uint32_t count,
            std::int32_t line, std::string_view text, const SymbolEntry* defined = nullptr, std::string_view mark = {})
{
    char head[40];
    char* p = head;
    const auto hex2 = [&p](std::uint32_t b) {
        *p++ = kDigits[(b >> 4) & 15];
        *p++ = kDigits[b & 15];
    };
    const auto blanks = [&p](int n) {
        while (n-- > 0)
            *p++ = ' ';
    };
    if (hasAddress) {
        hex2(address >> 8);
        hex2(address);
    } else {
        blanks(4);
    }
    blanks(2);
    if (defined) {
        *p++ = '=';
        hex2(static_cast<std::uint32_t>(defined->value) >> 8);
        hex2(static_cast<std::uint32_t>(defined->value));
        blanks(3);
    } else {
        for (std::uint32_t i = 0; i < 4; ++i) {
            if (i < count)
                hex2(bytes[i]);
            else
                blanks(2);
        }
    }
    *p++ = ' ';
    if (line > 0) {
        char digits[12];
        int n = 0;
        for (std::uint32_t value = static_cast<std::uint32_t>(line); value; value /= 10)
            digits[n++] = static_cast<char>('0' + value % 10);
        blanks(7 - n);
        while (n)
            *p++ = digits[--n];
    }
    out.append(head, static_cast<std::size_t>(p - head));
    if (line > 0) {
        if (!mark.empty()) {
            out += ' ';
            out.append(mark);
            out += ' ';
            out.append(text);
        } else if (!text.empty()) {
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
    return m51::HexDigit(c) >= 0;
}

// The symbol table, with the lines that use each name after $XREF.
void PutSymbols(std::string& out, const Context& ctx, const AssembleResult& r)
{
    std::vector<std::vector<std::int32_t>> uses;
    if (ctx.xref) {
        uses.resize(ctx.symbols.size());
        for (const auto& [symbol, row] : ctx.references)
            if (uses[static_cast<std::size_t>(symbol)].empty() || uses[static_cast<std::size_t>(symbol)].back() != row)
                uses[static_cast<std::size_t>(symbol)].push_back(row);
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
        if (ctx.xref) {
            const std::int32_t id = ctx.symbols.Find(sym.name);
            if (id >= 0) {
                out += "  ";
                out += ctx.Where(ctx.symbols[id].line).substr(0, 5) == "line " ? ctx.Where(ctx.symbols[id].line).substr(5)
                                                                            : ctx.Where(ctx.symbols[id].line);
                out += '#';
                for (std::int32_t row : uses[static_cast<std::size_t>(id)]) {
                    const std::string where = ctx.Where(row);
                    out += ' ';
                    out += where.substr(0, 5) == "line " ? where.substr(5) : where;
                }
            }
        }
        out += "\r\n";
    }
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
    // Every row: 24 columns before its text and CR LF; code rows of more than four bytes one more row per four.
    out.reserve(ctx.rowBytes + static_cast<std::size_t>(ctx.rows) * 26 + ctx.bytes.size() * 4 +
                ctx.errors.size() * 64 + r.symbols.size() * 48 + 4096);
    out += "m51as 8051 assembler";
    if (!ctx.options.fileName.empty()) {
        out += "    ";
        out += ctx.options.fileName;
    }
    for (const std::string* extra : {&ctx.title, &ctx.date}) {
        if (extra->empty())
            continue;
        out += "    ";
        out += *extra;
    }
    out += "\r\n\r\n";
    out += kHeading;
    out += "\r\n\r\n";

    auto statement = ctx.statements.begin();
    auto error = ctx.errors.begin();  // `line` is still the row here
    auto listSwitch = ctx.listSwitches.begin();
    bool listing = true;
    ListEvent gen = ListEvent::Gen;
    const bool all = ctx.options.ignoreNolist;
    std::string mark;
    for (std::size_t k = 0; k < ctx.runs.size(); ++k) {
        const Run& run = ctx.runs[k];
        const std::int32_t endRow = k + 1 < ctx.runs.size() ? ctx.runs[k + 1].firstRow : ctx.rows + 1;
        const Origin& origin = ctx.origins[static_cast<std::size_t>(run.origin)];
        mark.clear();
        if (origin.includeDepth)
            mark += "=" + std::to_string(origin.includeDepth);
        if (origin.macroDepth)
            mark += "+" + std::to_string(origin.macroDepth);
        std::int32_t row = run.firstRow;
        std::int32_t lineNo = run.firstLine;
        ForEachLine(run.text, [&](std::string_view text, std::int32_t) {
            if (row >= endRow)
                return false;
            bool turnOff = false;
            for (; listSwitch != ctx.listSwitches.end() && listSwitch->first == row; ++listSwitch) {
                switch (listSwitch->second) {
                case ListEvent::On: listing = true; break;
                case ListEvent::Off: turnOff = true; break;
                case ListEvent::Eject: out += "\f\r\n"; break;
                default: gen = listSwitch->second; break;
                }
            }
            const bool hasError = error != ctx.errors.end() && error->line == row;
            const Statement* st = nullptr;
            while (statement != ctx.statements.end() && statement->line < row)
                ++statement;
            if (statement != ctx.statements.end() && statement->line == row)
                st = &*statement;
            const bool shown = origin.macroDepth == 0 || gen == ListEvent::Gen ||
                               (gen == ListEvent::GenOnly && st && st->emitted > 0);
            if ((listing && shown) || hasError || all) {
                if (!st) {
                    PutRow(out, false, 0, nullptr, 0, lineNo, text, nullptr, mark);
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
                    PutRow(out, addr, st->address, bytes, std::min<std::uint32_t>(fit, 4), lineNo, text, defined, mark);
                    for (std::uint32_t b = 4; b < fit; b += 4)
                        PutRow(out, true, st->address + b, bytes + b, std::min<std::uint32_t>(fit - b, 4), 0, {});
                }
            }
            for (; error != ctx.errors.end() && error->line <= row; ++error) {
                out += "*** ERROR: ";
                out += error->message;
                out += "\r\n";
            }
            if (turnOff)
                listing = false;
            ++row;
            ++lineNo;
            return true;
        });
    }
    for (; error != ctx.errors.end(); ++error) {
        out += "*** ERROR: ";
        out += error->message;
        out += "\r\n";
    }

    if (ctx.listSymbols)
        PutSymbols(out, ctx, r);
    out += "\r\n";
    out += std::to_string(ctx.errors.size());
    out += ctx.errors.size() == 1 ? " error\r\n" : " errors\r\n";
    return out;
}

std::vector<AddressMapEntry> ReadListingAddressMap(std::string_view text)
{
    std::vector<AddressMapEntry> map;
    bool inRows = false;
    std::int64_t sourceLine = 0;
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
        // The line number at 15-21 and a mark at 23 for include and macro lines,
        // whose code counts for the last line of the source before them.
        std::int64_t line = 0;
        bool hasLine = false;
        for (std::size_t p = 14; p < 22 && p < row.size(); ++p) {
            if (row[p] >= '0' && row[p] <= '9') {
                line = line * 10 + (row[p] - '0');
                hasLine = true;
            } else if (row[p] != ' ' || hasLine) {
                hasLine = false;
                break;
            }
        }
        if (hasLine && row.size() > 23 && row[22] == ' ' && (row[23] == '=' || row[23] == '+'))
            line = sourceLine;
        else if (hasLine)
            sourceLine = line;
        if (row.size() < 8 || !IsHex(row[0]) || !IsHex(row[1]) || !IsHex(row[2]) || !IsHex(row[3]) ||
            row[4] != ' ' || row[5] != ' ')
            continue;
        std::uint32_t address = 0;
        for (int i = 0; i < 4; ++i)
            address = address * 16 + static_cast<std::uint32_t>(m51::HexDigit(row[static_cast<std::size_t>(i)]));
        std::uint32_t count = 0;
        std::size_t p = 6;
        while (p + 1 < row.size() && p < 14 && IsHex(row[p]) && IsHex(row[p + 1])) {
            ++count;
            p += 2;
        }
        if (count == 0)
            continue;
        if (hasLine && line < 1'000'000'000) {
            map.push_back({static_cast<int>(line), static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(count)});
        } else if (!hasLine && !map.empty() && map.back().address + map.back().size == address) {
            map.back().size = static_cast<std::uint16_t>(map.back().size + count);
        }
    }
    return map;
}

} // namespace m51asm
