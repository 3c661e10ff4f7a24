#include "debugger/m51sim/SimOptions.h"

#include "simrun/LinePlace.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <map>

namespace m51sim {

const char* const Usage =
    "Usage: m51sim [options] PROGRAM\n"
    "       m51sim [options] FILE.c... | --project FILE.m51proj | FILE.a51proj\n"
    "       m51sim test FOLDER|FILE.m51test [--junit FILE] [--coverage FILE] [--profile FILE]\n"
    "Runs an 8051 program (.M51 compiled and assembled, .asm or .a51 assembled,\n"
    ".hex loaded) on the simulator and prints the machine state as NAME=VALUE\n"
    "lines (hexadecimal values). An assembly module is linked with the other\n"
    "modules of its program (its project file NAME.a51proj, else the module\n"
    "sources of its folder); a project file .a51proj runs its program too.\n"
    "C sources are built with SDCC: the files given,\n"
    "one .c file alone with the other .c files of its folder, or a project file.\n"
    "\n"
    "  --steps N            instructions to run (default 1000000)\n"
    "  --until-line N       stop when line N (1-based) of the source is reached\n"
    "  --until-line FILE:N  stop at line N of any source file of a C program or\n"
    "                       of an assembly program of several modules\n"
    "  --project FILE       build and run the program of a project file (C\n"
    "                       .m51proj, assembly .a51proj)\n"
    "  --print EXPR         print a register (A, B, PSW, SP, DPTR, PC, R0-R7, P0-P3,\n"
    "                       TMOD, TCON, TH0 ...) or iram[ADDR], xram[ADDR],\n"
    "                       sfr[ADDR], code[ADDR] with ADDR hexadecimal (iram[30]\n"
    "                       is address 30H); repeatable; default: the registers;\n"
    "                       with --board also lcd (the LCD's rows as lcd1=TEXT ...,\n"
    "                       trailing blanks left out) and 7seg (7seg=DIGITS shown);\n"
    "                       of a C program also C expressions (total, result.count,\n"
    "                       history[3], p->x, *p, the locals at the stop) printed\n"
    "                       with C values (decimal, floats, pointers 0xHHHH)\n"
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
    "  --dap                serve a debugger (VS Code, nvim-dap, dap-mode) over the\n"
    "                       Debug Adapter Protocol on standard input and output\n"
    "  --dap-port N         the same on port N of localhost\n"
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

bool IsCSource(const std::string& path)
{
    return path.size() > 2 && (path.compare(path.size() - 2, 2, ".c") == 0 || path.compare(path.size() - 2, 2, ".C") == 0);
}

// A program that may be C: its sources, a project, or an image with SDCC's
// debug information beside it.
bool MayBeC(const std::string& path)
{
    const size_t dot = path.find_last_of('.');
    std::string extension = dot == std::string::npos ? std::string() : path.substr(dot);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".c" || extension == ".m51proj" || extension == ".ihx" || extension == ".hex";
}

bool ParseUnsigned(const std::string& text, uint64_t& value, int base = 10)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

} // namespace

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
            if (o.source.empty()) {
                o.source = a;
            } else if (IsCSource(o.source) && IsCSource(a)) {
                o.moreSources.push_back(a);
            } else {
                result.error = "only one program can be run";
                return result;
            }
        } else if (a == "--project") {
            if (!value(v))
                return result;
            if (!o.source.empty()) {
                result.error = "only one program can be run";
                return result;
            }
            o.source = v;
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
            const auto place = ParseLinePlace(v);
            if (!place) {
                result.error = "--until-line needs a line number (from 1) or FILE:LINE, not \"" + v + "\"";
                return result;
            }
            o.untilLine = place->line;
            o.untilFile = place->file;
        } else if (a == "--print") {
            if (!value(v))
                return result;
            // Not a register nor an address: a C expression, when the program is C.
            PrintItem expression{v, PrintItem::Kind::CExpression, {}, 0};
            o.prints.push_back(ParsePrintItem(v).value_or(expression));
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
        if (item.kind == PrintItem::Kind::CExpression && !MayBeC(o.source) && result.error.empty())
            result.error = "--print: unknown register or address \"" + item.text + "\"";
    for (const PrintItem& item : o.prints)
        if ((item.kind == PrintItem::Kind::Lcd || item.kind == PrintItem::Kind::SevenSeg) && o.board.empty() && result.error.empty())
            result.error = "--print " + item.text + " needs a board (--board FILE)";
    if (!o.presses.empty() && o.board.empty() && result.error.empty())
        result.error = "--press needs a board (--board FILE)";
    return result;
}

} // namespace m51sim
