#include "SimOptions.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <map>

namespace m51sim {

const char* const Usage =
    "Usage: m51sim [options] PROGRAM\n"
    "       m51sim test FOLDER|FILE.m51test [--junit FILE] [--coverage FILE] [--profile FILE]\n"
    "Runs an 8051 program (.M51 compiled and assembled, .asm or .a51 assembled,\n"
    ".hex loaded) on the simulator and prints the machine state as NAME=VALUE\n"
    "lines (hexadecimal values).\n"
    "\n"
    "  --steps N            instructions to run (default 1000000)\n"
    "  --until-line N       stop when line N (1-based) of the source is reached\n"
    "  --print EXPR         print a register (A, B, PSW, SP, DPTR, PC, R0-R7, P0-P3,\n"
    "                       TMOD, TCON, TH0 ...) or iram[ADDR], xram[ADDR],\n"
    "                       sfr[ADDR], code[ADDR] with ADDR hexadecimal (iram[30]\n"
    "                       is address 30H); repeatable; default: the registers;\n"
    "                       with --board also lcd (the LCD's rows as lcd1=TEXT ...,\n"
    "                       trailing blanks left out) and 7seg (7seg=DIGITS shown)\n"
    "  --chip NAME          the 8051 derivative (default 8052; --cpu is the same)\n"
    "  --xtal HZ            crystal frequency (default 11059200)\n"
    "  --xram BYTES         external RAM on the board (default 65536)\n"
    "  --serial-in FILE     bytes fed to the serial port as the program reads them\n"
    "  --serial-out FILE    every byte the program sends\n"
    "  --serial-script FILE send, sendfile, expect and wait commands, one a line\n"
    "  --line-baud N        the serial line carries bits at N baud, on RXD and TXD\n"
    "  --tty LINK           serve the serial port on a pseudo-terminal linked at\n"
    "                       LINK and run until interrupted (not on Windows)\n"
    "  --simulator NAME     core (default), or s51 or the path of the s51 program\n"
    "  --coverage FILE      write the lines and branches that ran as an lcov\n"
    "                       trace file (genhtml renders it)\n"
    "  --profile FILE       write the machine cycles per line and per procedure\n"
    "                       as CSV\n"
    "  --save-state FILE    save the whole simulation state at the end of the run\n"
    "  --load-state FILE    start from a saved state (same program, chip, crystal)\n"
    "  --board FILE         the virtual board (NAME.board) on the port pins\n"
    "  --press KEY          hold a keypad key (0-9, A-D, *, #) or a button or switch\n"
    "                       (its key or label) from reset; repeatable\n"
    "  --help, --version\n"
    "\n"
    "m51sim test runs the firmware tests (*.m51test) of a folder, prints a line\n"
    "per test and \"N passed, M failed\"; --junit writes a JUnit XML report, and\n"
    "--coverage and --profile those of all the tests. Exit status 0 all passed,\n"
    "1 a test failed, 2 no tests or a file not written.\n"
    "\n"
    "Exit status: 0 the run ended as asked, 1 compile or assemble errors,\n"
    "2 bad arguments, unreadable or unwritable files or no simulator,\n"
    "3 --until-line not reached within --steps, 4 an expect of the serial\n"
    "script not met within --steps.\n";

namespace {

// Register names and their SFR addresses (A is ACC).
const std::map<std::string, unsigned>& SfrNames()
{
    static const std::map<std::string, unsigned> names{
        {"A", 0xE0},    {"ACC", 0xE0},  {"B", 0xF0},    {"PSW", 0xD0},  {"SP", 0x81},   {"DPL", 0x82},
        {"DPH", 0x83},  {"P0", 0x80},   {"P1", 0x90},   {"P2", 0xA0},   {"P3", 0xB0},   {"PCON", 0x87},
        {"TCON", 0x88}, {"TMOD", 0x89}, {"TL0", 0x8A},  {"TL1", 0x8B},  {"TH0", 0x8C},  {"TH1", 0x8D},
        {"SCON", 0x98}, {"SBUF", 0x99}, {"IE", 0xA8},   {"IP", 0xB8},   {"T2CON", 0xC8}, {"RCAP2L", 0xCA},
        {"RCAP2H", 0xCB}, {"TL2", 0xCC}, {"TH2", 0xCD},
    };
    return names;
}

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool ParseUnsigned(const std::string& text, uint64_t& value, int base = 10)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

std::string Hex(unsigned value, int digits)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

} // namespace

std::optional<PrintItem> ParsePrintItem(const std::string& text)
{
    PrintItem item;
    item.text = text;
    const size_t open = text.find('[');
    if (open == std::string::npos) {
        item.name = Upper(text);
        if (item.name == "LCD" || item.name == "7SEG") {
            item.kind = item.name == "LCD" ? PrintItem::Kind::Lcd : PrintItem::Kind::SevenSeg;
            return item;
        }
        const bool known = SfrNames().count(item.name) || item.name == "PC" || item.name == "DPTR"
            || (item.name.size() == 2 && item.name[0] == 'R' && item.name[1] >= '0' && item.name[1] <= '7');
        if (!known)
            return std::nullopt;
        return item;
    }
    if (text.back() != ']')
        return std::nullopt;
    const std::string space = Upper(text.substr(0, open));
    std::string address = text.substr(open + 1, text.size() - open - 2);
    if (address.size() > 1 && (address.back() == 'h' || address.back() == 'H'))
        address.pop_back();  // 30H means the same as 30
    uint64_t value = 0;
    if (!ParseUnsigned(address, value, 16))
        return std::nullopt;
    static const std::map<std::string, std::pair<PrintItem::Kind, uint64_t>> spaces{
        {"IRAM", {PrintItem::Kind::Iram, 0xFF}},
        {"XRAM", {PrintItem::Kind::Xram, 0xFFFF}},
        {"SFR", {PrintItem::Kind::Sfr, 0xFF}},
        {"CODE", {PrintItem::Kind::Code, 0xFFFF}},
    };
    const auto it = spaces.find(space);
    if (it == spaces.end() || value > it->second.second)
        return std::nullopt;
    if (it->second.first == PrintItem::Kind::Sfr && value < 0x80)
        return std::nullopt;
    item.kind = it->second.first;
    item.address = static_cast<unsigned>(value);
    return item;
}

std::vector<PrintItem> DefaultPrints()
{
    std::vector<PrintItem> items;
    for (const char* name : {"A", "B", "PSW", "SP", "DPTR", "PC", "R0", "R1", "R2", "R3", "R4", "R5", "R6", "R7", "P0",
                             "P1", "P2", "P3"})
        items.push_back(*ParsePrintItem(name));
    return items;
}

std::string FormatByte(const PrintItem& item, uint8_t value) { return item.text + '=' + Hex(value, 2); }

std::optional<std::string> FormatItem(const PrintItem& item, const m51dbg::MachineState& machine)
{
    const std::optional<unsigned> value = ItemValue(item, machine);
    if (!value)
        return std::nullopt;
    const bool wide = item.kind == PrintItem::Kind::Register && (item.name == "PC" || item.name == "DPTR");
    return item.text + '=' + Hex(*value, wide ? 4 : 2);
}

std::optional<unsigned> ItemValue(const PrintItem& item, const m51dbg::MachineState& machine)
{
    switch (item.kind) {
    case PrintItem::Kind::Iram:
        return machine.iram[item.address];
    case PrintItem::Kind::Sfr:
        return machine.sfrAt(item.address);
    case PrintItem::Kind::Xram:
    case PrintItem::Kind::Code:
    case PrintItem::Kind::Lcd:
    case PrintItem::Kind::SevenSeg:
        return std::nullopt;
    case PrintItem::Kind::Register:
        break;
    }
    if (item.name == "PC")
        return machine.pc;
    if (item.name == "DPTR")
        return machine.dptr();
    if (item.name.size() == 2 && item.name[0] == 'R' && std::isdigit(static_cast<unsigned char>(item.name[1])))
        return machine.r(static_cast<unsigned>(item.name[1] - '0'));
    return machine.sfrAt(SfrNames().at(item.name));
}

ParseResult ParseArguments(const std::vector<std::string>& args)
{
    ParseResult result;
    Options& o = result.options;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                result.error = "option " + a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (optionsEnd || a.empty() || a[0] != '-' || a == "-") {
            if (!o.source.empty()) {
                result.error = "only one program can be run";
                return result;
            }
            o.source = a;
        } else if (a == "--") {
            optionsEnd = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--steps") {
            if (!value(v))
                return result;
            if (!ParseUnsigned(v, o.steps) || o.steps == 0) {
                result.error = "--steps needs a positive number, not \"" + v + "\"";
                return result;
            }
        } else if (a == "--until-line") {
            if (!value(v))
                return result;
            uint64_t line = 0;
            if (!ParseUnsigned(v, line) || line == 0 || line > 100000000) {
                result.error = "--until-line needs a line number (from 1), not \"" + v + "\"";
                return result;
            }
            o.untilLine = static_cast<int>(line);
        } else if (a == "--print") {
            if (!value(v))
                return result;
            const auto item = ParsePrintItem(v);
            if (!item) {
                result.error = "--print: unknown register or address \"" + v + "\"";
                return result;
            }
            o.prints.push_back(*item);
        } else if (a == "--serial-in") {
            if (!value(o.serialIn))
                return result;
        } else if (a == "--serial-out") {
            if (!value(o.serialOut))
                return result;
        } else if (a == "--simulator") {
            if (!value(o.simulator))
                return result;
        } else if (a == "--cpu" || a == "--chip") {
            if (!value(o.cpu))
                return result;
        } else if (a == "--serial-script") {
            if (!value(o.serialScript))
                return result;
        } else if (a == "--coverage") {
            if (!value(o.coverage))
                return result;
        } else if (a == "--profile") {
            if (!value(o.profile))
                return result;
        } else if (a == "--load-state") {
            if (!value(o.loadState))
                return result;
        } else if (a == "--save-state") {
            if (!value(o.saveState))
                return result;
        } else if (a == "--tty") {
            if (!value(o.tty))
                return result;
        } else if (a == "--board") {
            if (!value(o.board))
                return result;
        } else if (a == "--press") {
            if (!value(v))
                return result;
            o.presses.push_back(v);
        } else if (a == "--xtal" || a == "--line-baud") {
            if (!value(v))
                return result;
            uint64_t number = 0;
            if (!ParseUnsigned(v, number) || number == 0 || number > 100000000) {
                result.error = a + " needs a positive number, not \"" + v + "\"";
                return result;
            }
            (a == "--xtal" ? o.xtal : o.lineBaud) = static_cast<double>(number);
        } else if (a == "--xram") {
            if (!value(v))
                return result;
            uint64_t number = 0;
            if (!ParseUnsigned(v, number) || number > 65536) {
                result.error = "--xram needs a number of bytes up to 65536, not \"" + v + "\"";
                return result;
            }
            o.xram = static_cast<unsigned>(number);
        } else {
            result.error = "unknown option " + a;
            return result;
        }
    }
    if (o.source.empty() && !o.help && !o.version)
        result.error = "no program given";
    for (const PrintItem& item : o.prints)
        if ((item.kind == PrintItem::Kind::Lcd || item.kind == PrintItem::Kind::SevenSeg) && o.board.empty() && result.error.empty())
            result.error = "--print " + item.text + " needs a board (--board FILE)";
    if (!o.presses.empty() && o.board.empty() && result.error.empty())
        result.error = "--press needs a board (--board FILE)";
    return result;
}

} // namespace m51sim
