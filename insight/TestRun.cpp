#include "insight/TestRun.h"
#include "simrun/CValues.h"
#include "simrun/LinePlace.h"
#include "toolchain/AssemblyProject.h"
#include "toolchain/CBuild.h"

#include "simrun/PathNames.h"

#include "simrun/CoreRun.h"
#include "common/FileWrite.h"
#include "insight/Writers.h"

#include "sim/Chip.h"
#include "sim/Machine.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

namespace insight {

namespace {

using m51sim::Extension;

std::string FileName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Keeps what the program sends and passes everything on to the board.
struct Collector : sim::Listener {
    std::string sent;
    sim::Listener* next = nullptr;
    sim::Machine* stopOnSent = nullptr;  // a script looks at every byte the program sends
    void serialSent(uint64_t cycle, uint8_t byte) override
    {
        sent += static_cast<char>(byte);
        if (next)
            next->serialSent(cycle, byte);
        if (stopOnSent)
            stopOnSent->requestStop();  // the run returns before the next instruction
    }
    void pinsChanged(uint64_t cycle, unsigned port, uint8_t levels) override
    {
        if (next)
            next->pinsChanged(cycle, port, levels);
    }
    void serialLost(uint64_t cycle, uint8_t byte) override
    {
        if (next)
            next->serialLost(cycle, byte);
    }
};

std::string Hex(unsigned value, int digits)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

// The value of a --print item in the machine now.
unsigned ValueOf(const m51sim::PrintItem& item, const sim::Machine& machine)
{
    using Kind = m51sim::PrintItem::Kind;
    switch (item.kind) {
    case Kind::Iram: return machine.read(sim::Space::Iram, item.address);
    case Kind::Sfr: return machine.read(sim::Space::Sfr, item.address);
    case Kind::Xram: return machine.read(sim::Space::Xram, item.address);
    case Kind::Code: return machine.read(sim::Space::Code, item.address);
    case Kind::Register:
    case Kind::Lcd:
    case Kind::SevenSeg:
    case Kind::CExpression: break;
    }
    return m51sim::ItemValue(item, m51sim::CaptureState(machine)).value_or(0);
}

int Digits(const m51sim::PrintItem& item)
{
    return item.kind == m51sim::PrintItem::Kind::Register && (item.name == "PC" || item.name == "DPTR") ? 4 : 2;
}

} // namespace

std::string ShowBytes(const std::string& bytes)
{
    std::string shown;
    for (unsigned char c : bytes) {
        if (c == '\\')
            shown += "\\\\";
        else if (c == '\r')
            shown += "\\r";
        else if (c == '\n')
            shown += "\\n";
        else if (c < 0x20 || c >= 0x7F)
            shown += "\\x" + Hex(c, 2);
        else
            shown += static_cast<char>(c);
    }
    return shown;
}

BuiltProgram BuildProgramFile(const std::string& path, const m51sim::FileReader& readFile,
                              const std::vector<std::string>& moreSources)
{
    BuiltProgram built;
    std::string why;
    const auto text = readFile(path, why);
    if (!text) {
        built.errors.push_back("cannot read " + path + ": " + why);
        return built;
    }
    const std::string extension = Extension(path);
    const toolchain::Language language = toolchain::LanguageOf(path);
    built.hex = language == toolchain::Language::Hex;
    built.assembly = language == toolchain::Language::Assembly;
    built.m51 = language == toolchain::Language::M51;
    const std::string stem = path.substr(0, path.size() - extension.size());
    built.asmPath = built.assembly ? path : built.m51 ? stem + ".asm" : std::string();
    // SDCC reads C sources from their folder, and finds the debug information beside an image;
    // an assembly module finds its project and the other modules beside it.
    const bool byPath = language == toolchain::Language::C || built.hex || built.assembly;
    const toolchain::BuildInput input{*text, byPath ? path : std::string(),
                                      built.assembly ? FileName(path) : FileName(stem) + ".asm"};
    std::unique_ptr<toolchain::Build> build = toolchain::BuildFor(language);
    if (!moreSources.empty()) {
        std::vector<std::string> sources{path};
        sources.insert(sources.end(), moreSources.begin(), moreSources.end());
        build = std::make_unique<toolchain::CBuild>(std::string(), std::move(sources));
    }
    built.code = build->run(input);
    if (toolchain::IsAssemblyProjectFile(path) && !built.code.files.empty())
        built.asmPath = built.code.files.front();  // the module it is built as from
    for (const toolchain::Diagnostic& d :
         toolchain::NamedDiagnostics(built.code, path, built.asmPath.empty() ? path : built.asmPath))
        built.errors.push_back(toolchain::FormatBuildMessage(d));
    return built;
}

TestOutcome RunTest(const TestFile& test, const m51sim::FileReader& readFile, bool coverage, const BoardFactory& boards)
{
    TestOutcome outcome;
    outcome.name = test.name;
    outcome.path = test.path;
    outcome.failures = test.errors;
    if (!test.errors.empty()) {
        outcome.error = true;
        return outcome;
    }
    const auto started = std::chrono::steady_clock::now();
    const BuiltProgram built = BuildProgramFile(test.program, readFile, test.moreSources);
    auto fail = [&](int line, const std::string& message) {
        outcome.failures.push_back(test.path + ':' + std::to_string(line) + ": " + message);
    };
    if (!built.code.ok) {
        outcome.error = true;
        outcome.failures.insert(outcome.failures.end(), built.errors.begin(), built.errors.end());
        if (built.errors.empty())
            fail(test.programLine, "the program did not build");
        return outcome;
    }
    // A line of the program's source, and where its code starts: a line
    // without code (a label, a comment) means the next one with code, as for
    // m51sim --until-line.
    const bool isC = built.code.language == toolchain::Language::C;
    auto lineAddress = [&](int line, int testLine, const std::string& file = {}) -> std::optional<uint16_t> {
        // FILE:N, and a bare N of a C program or of assembly modules: a line of the source the test names.
        if (!file.empty() || isC || (built.assembly && built.code.files.size() > 1)) {
            const bool project = Extension(test.program) == ".m51proj" || toolchain::IsAssemblyProjectFile(test.program);
            const m51sim::LinePlace place{file.empty() && !project ? test.program : file, line};
            const m51sim::LineStart start = m51sim::FindLineStart(built.code, place);
            if (start.file < 0) {
                fail(testLine, !place.file.empty() ? start.error
                               : isC             ? "a C program's lines are named FILE:LINE"
                                                 : "the lines of a program of several modules are named FILE:LINE");
                return std::nullopt;
            }
            return start.address;
        }
        const toolchain::SourceMap& map = built.code.map;
        const auto withCode = built.assembly ? map.asmLineWithCode(line - 1) : map.sourceLineWithCode(line - 1);
        if (!withCode) {
            fail(testLine, built.hex ? "a HEX program has no lines"
                                     : "line " + std::to_string(line) + " of " + FileName(test.program)
                                           + " has no code and none follows");
            return std::nullopt;
        }
        return built.assembly ? map.asmLineAddress(*withCode) : map.sourceLineAddress(*withCode);
    };
    std::optional<uint16_t> until;
    if (test.untilLine)
        until = lineAddress(*test.untilLine, test.untilAt, test.untilFile);
    std::vector<std::optional<uint16_t>> pinLines, checkLines;
    for (const PinChange& change : test.pins)
        pinLines.push_back(change.when == PinChange::When::AtLine ? lineAddress(change.sourceLine, change.line, change.sourceFile)
                                                                  : std::nullopt);
    for (const Check& check : test.checks) {
        const bool onLine = check.kind == Check::Kind::Reached || check.kind == Check::Kind::NotReached;
        checkLines.push_back(onLine ? lineAddress(check.sourceLine, check.line, check.sourceFile) : std::nullopt);
    }
    if (!outcome.failures.empty()) {
        outcome.error = true;
        return outcome;
    }

    sim::Board setup;
    setup.crystalHz = test.xtal;
    sim::Machine machine(*sim::findChip(test.chip), setup);
    machine.loadCode(built.code.code.data(), built.code.code.size());
    machine.reset();
    const ProgramInfo program = InfoOf(built.code);
    const std::vector<ProcedureInfo> procedures = FindProcedures(program);
    std::unique_ptr<Recorder> recorder;
    if (coverage)
        recorder = std::make_unique<Recorder>(machine, ProcedureIndex(procedures), procedures.size());
    Collector collector;
    std::unique_ptr<TestBoard> board;
    if (!test.board.empty()) {
        std::string why = "this build has no virtual boards";
        board = boards ? boards(test.board, machine, why) : nullptr;
        if (!board) {
            outcome.error = true;
            fail(test.boardLine, test.board + ": " + why);
            return outcome;
        }
        collector.next = &board->listener();
    }
    machine.setListener(&collector);

    // Without coverage, and with pins changed only at given cycles, the
    // program goes through the core's run loop: the cycle limit, the next pin
    // change and the end of a wait are the run's limits, the line to stop at
    // a breakpoint, and a byte sent stops it for the script to look at, so
    // that every limit is met at the same instruction as stepping meets it.
    const bool freeRun = !recorder && std::all_of(test.pins.begin(), test.pins.end(), [](const PinChange& change) {
        return change.when == PinChange::When::AtCycle;
    });
    if (freeRun && !test.script.empty())
        collector.stopOnSent = &machine;
    if (freeRun && until)
        machine.setCodeBreakpoint(*until, true);

    m51sim::ScriptRunner script(test.script);
    const bool scripted = !test.script.empty();
    size_t seen = std::string::npos;
    std::vector<bool> applied(test.pins.size(), false);
    size_t pinsLeft = test.pins.size();
    auto send = [&machine](const std::string& bytes) {
        if (!bytes.empty())
            machine.sendSerial(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    };
    enum class End { Limit, Until, ScriptDone, PowerDown } end = End::Limit;
    for (;;) {
        if (scripted && collector.sent.size() != seen) {
            seen = collector.sent.size();
            send(script.poll(machine.cycles(), collector.sent, machine.serialPending()));
        } else if (scripted
                   && ((script.feeding() && machine.serialPending() < m51sim::ScriptRunner::kFeedLow)
                       || (script.current() && script.current()->kind == m51sim::ScriptCommand::Kind::Wait))) {
            send(script.poll(machine.cycles(), collector.sent, machine.serialPending()));
        }
        for (size_t i = 0; pinsLeft && i < test.pins.size(); ++i) {
            const PinChange& change = test.pins[i];
            if (applied[i])
                continue;
            const bool now = change.when == PinChange::When::AtCycle ? machine.cycles() >= change.cycle
                             : change.when == PinChange::When::AtLine ? machine.pc() == *pinLines[i]
                                                                      : ValueOf(change.item, machine) == change.value;
            if (!now)
                continue;
            machine.drivePin(change.pin.port, change.pin.bit, change.pin.level);
            applied[i] = true;
            --pinsLeft;
        }
        if (until && machine.pc() == *until) {
            end = End::Until;
            break;
        }
        if (scripted && script.done() && !until) {
            end = End::ScriptDone;
            break;
        }
        if (machine.cycles() >= test.limit)
            break;
        if (freeRun) {
            uint64_t budget = test.limit - machine.cycles();
            for (size_t i = 0; pinsLeft && i < test.pins.size(); ++i)
                if (!applied[i])
                    budget = std::min(budget, test.pins[i].cycle - machine.cycles());
            if (const auto waitEnd = script.waitEnd())
                budget = std::min(budget, *waitEnd > machine.cycles() ? *waitEnd - machine.cycles() : 1);
            if (script.feeding())
                budget = std::min(budget, m51sim::ScriptRunner::kFeedCycles);
            if (machine.run(budget) == sim::Stop::PowerDown) {
                end = End::PowerDown;
                break;
            }
            continue;
        }
        if ((recorder ? recorder->step(machine) : machine.step()) == 0) {
            end = End::PowerDown;
            break;
        }
    }
    if (freeRun && until)
        machine.setCodeBreakpoint(*until, false);
    machine.setListener(nullptr);
    outcome.cycles = machine.cycles();
    outcome.instructions = machine.instructions();
    outcome.serialOut = collector.sent;

    const std::string within = " within " + std::to_string(test.limit) + " cycles";
    if (test.untilLine && end != End::Until)
        fail(test.untilAt, "line " + (test.untilFile.empty() ? "" : test.untilFile + ":") + std::to_string(*test.untilLine)
                               + " not reached" + within);
    if (const m51sim::ScriptCommand* waiting = script.current();
        waiting && waiting->kind == m51sim::ScriptCommand::Kind::Expect && end != End::Until)
        fail(waiting->line, "\"" + ShowBytes(waiting->bytes) + "\" not received" + within);
    const uint32_t* counts = machine.executionCounts();
    for (size_t i = 0; i < test.checks.size(); ++i) {
        const Check& check = test.checks[i];
        switch (check.kind) {
        case Check::Kind::Value: {
            // C names with C values; also a C variable named like a register (a, r7).
            if (check.item.kind == m51sim::PrintItem::Kind::CExpression
                || (isC && check.item.kind == m51sim::PrintItem::Kind::Register
                    && m51sim::NamesCVariable(built.code, check.item.text))) {
                if (const std::string wrong = m51sim::CheckCValue(check.item.text, check.expected, built.code, machine);
                    !wrong.empty())
                    fail(check.line, wrong);
                break;
            }
            const unsigned value = ValueOf(check.item, machine);
            if (value != check.value)
                fail(check.line, check.item.text + " is " + Hex(value, Digits(check.item)) + ", expected "
                                     + Hex(check.value, Digits(check.item)));
            break;
        }
        case Check::Kind::Pin: {
            const unsigned level = (machine.pins(check.pin.port) >> check.pin.bit) & 1;
            if (level != check.value)
                fail(check.line, "pin P" + std::to_string(check.pin.port) + "." + std::to_string(check.pin.bit) + " is "
                                     + std::to_string(level) + ", expected " + std::to_string(check.value));
            break;
        }
        case Check::Kind::SerialEquals:
        case Check::Kind::SerialContains: {
            const bool ok = check.kind == Check::Kind::SerialEquals ? collector.sent == check.text
                                                                    : collector.sent.find(check.text) != std::string::npos;
            if (!ok)
                fail(check.line, "the program sent \"" + ShowBytes(collector.sent) + "\", expected "
                                     + (check.kind == Check::Kind::SerialContains ? "it to contain " : "") + "\""
                                     + ShowBytes(check.text) + "\"");
            break;
        }
        case Check::Kind::Lcd:
            if (!board)
                fail(check.line, "the test has no board with an LCD (board FILE)");
            else if (const std::string shown = board->lcdText(); shown != check.text)
                fail(check.line, "the LCD shows \"" + ShowBytes(shown) + "\", expected \"" + ShowBytes(check.text) + "\"");
            break;
        case Check::Kind::Reached:
        case Check::Kind::NotReached: {
            const uint16_t address = *checkLines[i];
            const bool reached = counts[address] > 0 || machine.pc() == address;
            if (reached != (check.kind == Check::Kind::Reached))
                fail(check.line, "line " + (check.sourceFile.empty() ? "" : check.sourceFile + ":")
                                     + std::to_string(check.sourceLine) + (reached ? " was reached" : " was not reached"));
            break;
        }
        case Check::Kind::CyclesAtMost:
            if (machine.cycles() > check.cycles)
                fail(check.line, "the run took " + std::to_string(machine.cycles()) + " cycles, at most "
                                     + std::to_string(check.cycles) + " expected");
            break;
        }
    }
    if (coverage) {
        outcome.report = BuildReport(machine, program, procedures, recorder.get());
        outcome.sourcePath = built.m51 ? test.program : std::string();
        // The assembly of an M51 program only when the file beside it is the one this build made.
        std::string why;
        const auto onDisk = built.m51 ? readFile(built.asmPath, why) : std::nullopt;
        // A program of several assembly modules has its lines by module (in the report).
        const bool modules = built.assembly && built.code.files.size() > 1;
        outcome.asmPath = !modules && (built.assembly || (onDisk && *onDisk == built.code.assembly)) ? built.asmPath
                                                                                                     : std::string();
    }
    outcome.passed = outcome.failures.empty();
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return outcome;
}

} // namespace insight
