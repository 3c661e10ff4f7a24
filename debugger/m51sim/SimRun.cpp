#include "debugger/m51sim/SimRun.h"

#include "simrun/BoardRun.h"
#include "simrun/CoreRun.h"
#include "common/FileRead.h"
#include "common/FileWrite.h"
#include "toolchain/AssemblyProject.h"
#include "toolchain/Build.h"
#include "toolchain/CBuild.h"
#include "simrun/CValues.h"
#include "simrun/LinePlace.h"
#include "simrun/SerialScript.h"
#include "simrun/PathNames.h"
#include "debugger/m51sim/SimOptions.h"
#include "debugger/m51sim/TestBoards.h"

#include "insight/Insight.h"
#include "insight/StateFile.h"
#include "insight/TestRun.h"
#include "insight/Writers.h"

#include "sim/Chip.h"
#include "sim/Machine.h"

#ifdef M51SIM_WITH_S51
#include "debugger/m51sim/S51Run.h"
#endif
#ifndef _WIN32
#include "debugger/m51sim/TtyServe.h"
#endif
#ifdef M51SIM_WITH_DAP
#include "debugger/dap/AdapterRun.h"
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

namespace m51sim {

namespace {

// Boards, scripts, tests, states, HEX files and files to send; a named pipe
// is read like a file (process substitution), up to the same limit.
std::optional<std::string> ReadFile(const std::string& path, std::string& why)
{
    return m51::readFileBounded(path, m51::kInputLimit, why, true);
}

using m51sim::Extension;

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.substr(0, name.find('.'));
}

std::string Folder(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// One run of m51sim: where its output and its messages go.
class Runner {
public:
    Runner(std::FILE* out, std::FILE* err) : m_out(out), m_err(err) {}
    int run(const std::vector<std::string>& args);

private:
    int Fail(const std::string& message, int code)
    {
        std::fprintf(m_err, "m51sim: %s\n", message.c_str());
        return code;
    }
    bool Print(const m51sim::Options& options, sim::Machine& machine, const board::VirtualBoard* board,
               const toolchain::Program& code);
    int RunTests(const std::vector<std::string>& args);
    bool WriteInsight(const m51sim::Options& options, const insight::Report& report, const toolchain::Program& code,
                      bool isAsm, bool isHex, const std::string& asmName);

    std::FILE* m_out;
    std::FILE* m_err;
    bool m_printFailed = false;  // a C expression of --print had no value
};

// Prints the asked values (the registers without --print); false when the
// output cannot be written.
bool Runner::Print(const m51sim::Options& options, sim::Machine& machine, const board::VirtualBoard* board,
                   const toolchain::Program& code)
{
    const m51dbg::MachineState state = m51sim::CaptureState(machine);
    const auto& items = options.prints.empty() ? m51sim::DefaultPrints() : options.prints;
    for (const m51sim::PrintItem& item : items) {
        if (item.kind == m51sim::PrintItem::Kind::Lcd || item.kind == m51sim::PrintItem::Kind::SevenSeg) {
            std::string error;
            for (const std::string& line : m51sim::FormatBoardItem(item, *board, error))
                std::fprintf(m_out, "%s\n", line.c_str());
            if (!error.empty())
                std::fprintf(m_err, "m51sim: %s\n", error.c_str());
            continue;
        }
        // C expressions, and a C program's variable named like a register (a, r7) when it is in scope.
        std::string line, error;
        const bool expression = item.kind == m51sim::PrintItem::Kind::CExpression;
        if (expression || (item.kind == m51sim::PrintItem::Kind::Register && code.language == toolchain::Language::C
                           && m51sim::NamesCVariable(code, item.text)))
            line = m51sim::PrintCValue(item.text, code, machine, error);
        if (expression && !error.empty()) {
            std::fprintf(m_err, "m51sim: --print %s\n", error.c_str());
            m_printFailed = true;
            continue;
        }
        if (!line.empty()) {
            // printed as C
        } else if (const auto text = m51sim::FormatItem(item, state)) {
            line = *text;
        } else {
            line = m51sim::FormatByte(item, machine.read(item.kind == m51sim::PrintItem::Kind::Xram ? sim::Space::Xram
                                                                                                  : sim::Space::Code,
                                                          item.address));
        }
        std::fprintf(m_out, "%s\n", line.c_str());
    }
    return std::fflush(m_out) == 0 && !std::ferror(m_out);
}

// m51sim test PATH [--junit FILE] [--coverage FILE] [--profile FILE]
int Runner::RunTests(const std::vector<std::string>& args)
{
    insight::FolderOptions folder;
    std::string path;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string* target = a == "--junit" ? &folder.junitFile : a == "--coverage" ? &folder.coverageFile
                              : a == "--profile"                 ? &folder.profileFile
                                                                 : nullptr;
        if (target) {
            if (i + 1 >= args.size())
                return Fail("option " + a + " needs a value", 2);
            *target = args[++i];
        } else if (!a.empty() && a[0] == '-') {
            return Fail("unknown option " + a + " for m51sim test", 2);
        } else if (!path.empty()) {
            return Fail("m51sim test takes one folder or test file", 2);
        } else {
            path = a;
        }
    }
    if (path.empty())
        return Fail("m51sim test needs a folder or a test file", 2);
    const int status = insight::RunTestFolder(path, folder, ReadFile, m_out, m_err, m51sim::TestBoards(ReadFile));
    return std::fflush(m_out) == 0 && !std::ferror(m_out) ? status : 2;
}

// The coverage and profile files of a run; false when one was not written.
// `asmName`: the assembly source of an assembly program, else the assembly
// an M51 program was compiled to.
bool Runner::WriteInsight(const m51sim::Options& options, const insight::Report& report, const toolchain::Program& code,
                          bool isAsm, bool isHex, const std::string& asmName)
{
    // A C program's lines are by C file (in the report), those of assembly modules by module.
    const bool byFile = code.language == toolchain::Language::C || (isAsm && code.files.size() > 1);
    const std::string sourcePath = isAsm || isHex || byFile ? std::string() : options.source;
    std::string why;
    const auto onDisk = isAsm || isHex || byFile ? std::nullopt : ReadFile(asmName, why);
    // The assembly of an M51 program only when the file beside it is the one this build made.
    const std::string asmPath = !byFile && (isAsm || (onDisk && *onDisk == code.assembly)) ? asmName : std::string();
    const std::pair<const std::string*, std::string> files[] = {
        {&options.coverage, options.coverage.empty() ? "" : insight::LcovTrace(report, BaseName(options.source), sourcePath, asmPath)},
        {&options.profile, options.profile.empty() ? "" : insight::ProfileCsv(report, sourcePath, code.language == toolchain::Language::C ? std::string() : asmName)},
    };
    for (const auto& [path, bytes] : files) {
        if (path->empty())
            continue;
        if (const std::string error = m51::writeFileAtomically(*path, bytes); !error.empty()) {
            Fail("cannot write " + *path + ": " + error, 2);
            return false;
        }
    }
    return true;
}

int Runner::run(const std::vector<std::string>& args)
{
    if (!args.empty() && args[0] == "test")
        return RunTests(args);
#ifdef M51SIM_WITH_DAP
    if (m51dap::WantsAdapter(args))
        return m51dap::RunAdapter(args, m_err);
#endif
    const m51sim::ParseResult parsed = m51sim::ParseArguments(args);
    const m51sim::Options& options = parsed.options;
    if (options.help) {
        std::fputs(m51sim::Usage, m_out);
        return std::fflush(m_out) == 0 ? 0 : 2;
    }
    if (options.version) {
        std::fprintf(m_out, "m51sim %s\n", M51SIM_VERSION);
        return std::fflush(m_out) == 0 ? 0 : 2;
    }
    if (!parsed.error.empty()) {
        std::fprintf(m_err, "m51sim: %s\n%s", parsed.error.c_str(), m51sim::Usage);
        return 2;
    }
    std::string simulator = options.simulator;
    if (simulator.empty()) {
        const char* chosen = std::getenv("M51_SIMULATOR");
        simulator = chosen && std::string(chosen) == "s51" ? "s51" : "core";
    }

    // No output of the run goes over one of its inputs (a state may be
    // continued in place: it is read whole before the run).
    std::vector<std::string> inputs{options.source, options.serialIn, options.serialScript, options.board};
    inputs.insert(inputs.end(), options.moreSources.begin(), options.moreSources.end());
    if (const std::string clash = m51::outputOverInput(
            {options.serialOut, options.saveState, options.coverage, options.profile}, inputs);
        !clash.empty())
        return Fail(clash, 2);
    if (const std::string clash = m51::outputOverInput({options.serialOut, options.coverage, options.profile},
                                                       {options.loadState});
        !clash.empty())
        return Fail(clash, 2);

    std::string why;
    const auto source = m51::readFileBounded(options.source, m51::kSourceLimit, why, true);
    if (!source)
        return Fail("cannot read " + options.source + ": " + why, 2);
    const std::string extension = Extension(options.source);
    const bool isHex = extension == ".hex" || extension == ".ihx";
    // An assembly project file builds as from its first module, whose lines the run names.
    const bool isProject = toolchain::IsAssemblyProjectFile(options.source);
    const bool isAsm = extension == ".asm" || extension == ".a51" || isProject;
    const std::string asmName = Folder(options.source) + BaseName(options.source) + ".asm";
    // A HEX image's path finds SDCC's debug information beside it.
    const toolchain::BuildInput input{*source, options.source,
                                      BaseName(options.source) + (isAsm ? extension : std::string(".asm"))};
    const toolchain::Language language = toolchain::LanguageOf(options.source);
    std::unique_ptr<toolchain::Build> build = toolchain::BuildFor(language);
    if (!options.moreSources.empty()) {
        std::vector<std::string> sources{options.source};
        sources.insert(sources.end(), options.moreSources.begin(), options.moreSources.end());
        build = std::make_unique<toolchain::CBuild>(std::string(), std::move(sources));
    }
    const toolchain::Program code = build->run(input);
    const std::string asmSource = isProject && !code.files.empty() ? code.files.front() : options.source;
    for (const toolchain::Diagnostic& d : toolchain::NamedDiagnostics(code, asmSource, isAsm ? asmSource : asmName))
        std::fprintf(m_err, "%s\n", toolchain::FormatBuildMessage(d).c_str());
    // An assembly project that names a file not there, or a mistake of its own, is a file problem.
    const bool projectFailed = isAsm && !code.diagnostics.empty() && code.diagnostics.front().stage == m51::Stage::Files;
    if (!code.ok)
        return isHex || projectFailed || toolchain::BuildCouldNotRun(code) ? 2 : 1;

    // --until-line: an M51 line, a line of an assembly source, or FILE:LINE
    // of any source of a C program or of a program of several assembly
    // modules (bare, a line of the source given).
    [[maybe_unused]] int untilLine = -1;  // the line s51 stops at (not in a build without it)
    std::optional<uint16_t> untilAddress;
    std::string untilName;  // how a line not reached is named
    const bool byFile = options.untilLine && (!options.untilFile.empty() || code.language == toolchain::Language::C
                                              || (isAsm && code.files.size() > 1));
    if (byFile) {
        m51sim::LinePlace place{options.untilFile, *options.untilLine};
        if (place.file.empty() && (language == toolchain::Language::C || isAsm) && Extension(options.source) != ".m51proj"
            && !isProject)
            place.file = options.source;
        if (place.file.empty())
            return Fail(std::string("--until-line of a ") + (isAsm ? "program of several modules" : "C program")
                            + " names the file: --until-line FILE:LINE",
                        2);
        const m51sim::LineStart start = m51sim::FindLineStart(code, place);
        if (start.file < 0)
            return Fail(start.error, 2);
        if (start.line + 1 != place.line)
            std::fprintf(m_err, "m51sim: line %d of %s has no code; stopping at line %d\n", place.line,
                         place.file.c_str(), start.line + 1);
        untilAddress = start.address;
        untilName = place.file + ":" + std::to_string(start.line + 1);
    } else if (options.untilLine) {
        if (isHex)
            return Fail("--until-line needs a source, not a HEX file", 2);
        const int wanted = *options.untilLine - 1;
        const auto line = isAsm ? code.map.asmLineWithCode(wanted) : code.map.sourceLineWithCode(wanted);
        if (!line)
            return Fail("line " + std::to_string(*options.untilLine) + " has no code and none follows", 2);
        if (*line != wanted)
            std::fprintf(m_err, "m51sim: line %d has no code; stopping at line %d\n", *options.untilLine, *line + 1);
        untilLine = *line;
        untilAddress = isAsm ? code.map.asmLineAddress(*line) : code.map.sourceLineAddress(*line);
        untilName = std::to_string(*line + 1);
    }
    std::string serialIn;
    if (!options.serialIn.empty()) {
        const auto bytes = ReadFile(options.serialIn, why);
        if (!bytes)
            return Fail("cannot read " + options.serialIn + ": " + why, 2);
        serialIn = *bytes;
    }

    const bool insightWanted = !options.coverage.empty() || !options.profile.empty();
    if (insightWanted && (simulator != "core" || !options.tty.empty()))
        return Fail("--coverage and --profile need the built-in simulator and a run, not --tty", 2);
    if ((!options.loadState.empty() || !options.saveState.empty()) && simulator != "core")
        return Fail("--load-state and --save-state need the built-in simulator", 2);
    if (!options.board.empty() && (simulator != "core" || !options.tty.empty()))
        return Fail("--board needs the built-in simulator and a run (not --tty)", 2);
    if (simulator != "core") {
#ifdef M51SIM_WITH_S51
        if (!options.serialScript.empty() || !options.tty.empty())
            return Fail("--serial-script and --tty need the built-in simulator", 2);
        if (byFile)
            return Fail("--until-line of a C program needs the built-in simulator", 2);
        for (const m51sim::PrintItem& item : options.prints)
            if (item.kind == m51sim::PrintItem::Kind::CExpression)
                return Fail("--print " + item.text + ": C values need the built-in simulator", 2);
        m51sim::Options s51Options = options;
        if (s51Options.simulator.empty())
            s51Options.simulator = simulator;
        // s51 is driven through Qt, which takes the command line.
        std::vector<std::string> words{"m51sim"};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        return m51sim::RunOnS51(int(words.size()), argv.data(), s51Options, code, untilLine, !isAsm, serialIn);
#else
        return Fail("this m51sim has only the built-in simulator (--simulator core)", 2);
#endif
    }

    const sim::Chip* chip = sim::findChip(options.cpu);
    if (!chip) {
        std::string names;
        for (const std::string& name : sim::chipNames())
            names += (names.empty() ? "" : ", ") + name;
        return Fail("unknown chip \"" + m51::quoteForMessage(options.cpu, 40) + "\" (known: " + names + ")", 2);
    }
    m51sim::CoreRunSettings settings;
    settings.steps = options.steps;
    settings.untilAddress = untilAddress;
    settings.serialIn = serialIn;
    if (!options.serialScript.empty()) {
        const auto text = ReadFile(options.serialScript, why);
        if (!text)
            return Fail("cannot read " + options.serialScript + ": " + why, 2);
        const std::string folder = Folder(options.serialScript);
        m51sim::SerialScript script = m51sim::ParseSerialScript(
            *text, options.serialScript, [&folder](const std::string& path, std::string& reason) {
                const bool absolute = !path.empty() && (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'));
                return m51sim::OpenFileSource(absolute ? path : folder + path, reason);
            });
        if (!script.error.empty())
            return Fail(script.error, 2);
        settings.script = std::move(script.commands);
    }

    sim::Board board;
    board.crystalHz = options.xtal;
    board.xramSize = options.xram;
    if (options.lineBaud > 0) {
        board.serial = sim::SerialLine::RealLine;
        board.lineBaud = options.lineBaud;
    }
    sim::Machine machine(*chip, board);
    machine.loadCode(code.code.data(), code.code.size());
    machine.reset();
    if (!options.loadState.empty()) {
        if (const std::string error = insight::LoadStateFile(options.loadState, machine); !error.empty())
            return Fail("cannot load " + options.loadState + ": " + error, 2);
        // The saved state holds its own code memory: it must be this program's.
        for (size_t a = 0; a < code.code.size(); ++a)
            if (machine.read(sim::Space::Code, static_cast<unsigned>(a)) != code.code[a])
                return Fail(options.loadState + " is the state of another program", 2);
    }
    const insight::ProgramInfo program = insight::InfoOf(code);
    const std::vector<insight::ProcedureInfo> procedures = insight::FindProcedures(program);
    std::unique_ptr<insight::Recorder> recorder;
    if (insightWanted) {
        recorder = std::make_unique<insight::Recorder>(machine, insight::ProcedureIndex(procedures), procedures.size());
        settings.step = [&recorder](sim::Machine& m) { return recorder->step(m); };
    }
    std::unique_ptr<board::VirtualBoard> virtualBoard;
    if (!options.board.empty()) {
        const auto text = ReadFile(options.board, why);
        if (!text)
            return Fail("cannot read " + options.board + ": " + why, 2);
        virtualBoard = m51sim::MakeBoard(*text, options.board, options.xtal, why);
        if (!virtualBoard) {
            std::fprintf(m_err, "%s\n", why.c_str());
            return 2;
        }
        virtualBoard->attach(&machine);
        if (const std::string error = m51sim::PressKeys(*virtualBoard, options.presses); !error.empty())
            return Fail(error, 2);
        for (const m51sim::PrintItem& item : options.prints) {
            std::string error;
            if ((item.kind == m51sim::PrintItem::Kind::Lcd || item.kind == m51sim::PrintItem::Kind::SevenSeg)
                && (m51sim::FormatBoardItem(item, *virtualBoard, error), !error.empty()))
                return Fail(options.board + ": " + error, 2);
        }
        settings.pins = virtualBoard.get();
    }

    int status = 0;
    std::string serialOut;
    if (!options.tty.empty()) {
#ifdef _WIN32
        return Fail("--tty needs a pseudo-terminal, which Windows does not have", 2);
#else
        if (!serialIn.empty())
            machine.sendSerial(reinterpret_cast<const uint8_t*>(serialIn.data()), serialIn.size());
        if (const std::string error = m51sim::ServeOnTty(machine, options.tty, options.source.substr(options.source.find_last_of("/\\") + 1)); !error.empty())
            return Fail(error, 2);
#endif
    } else {
        const m51sim::CoreRunResult result = m51sim::RunOnCore(machine, settings);
        if (virtualBoard)
            virtualBoard->settle();
        serialOut = result.serialOut;
        if (result.bytesLost)
            std::fprintf(m_err, "m51sim: %u received byte(s) lost: the program did not take them in time\n",
                         result.bytesLost);
        if (result.end == m51sim::CoreRunResult::End::ExpectNotMet) {
            std::string shown;
            for (unsigned char c : result.waitingFor) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, c < 0x20 || c >= 0x7F ? "\\x%02X" : "%c", c);
                shown += escaped;
            }
            std::fprintf(m_err, "%s:%d: \"%s\" not received within %llu instructions\n", options.serialScript.c_str(),
                         result.waitingLine, shown.c_str(), static_cast<unsigned long long>(options.steps));
            status = 4;
        } else if (untilAddress && result.end != m51sim::CoreRunResult::End::Until) {
            std::fprintf(m_err, "m51sim: line %s not reached within %llu instructions\n", untilName.c_str(),
                         static_cast<unsigned long long>(options.steps));
            status = 3;
        }
    }
    if (!options.serialOut.empty()) {
        if (const std::string error = m51::writeFileAtomically(options.serialOut, serialOut); !error.empty())
            return Fail("cannot write " + options.serialOut + ": " + error, 2);
    }
    if (!options.saveState.empty()) {
        if (const std::string error = insight::SaveStateFile(options.saveState, machine); !error.empty())
            return Fail("cannot write " + options.saveState + ": " + error, 2);
    }
    if (recorder && !WriteInsight(options, insight::BuildReport(machine, program, procedures, recorder.get()), code, isAsm,
                                  isHex, isAsm ? asmSource : asmName))
        return 2;
    // A result that did not reach standard output is a failed run.
    errno = 0;
    if (!Print(options, machine, virtualBoard.get(), code))
        return Fail(std::string("cannot write the standard output: ") + std::strerror(errno ? errno : EIO), 2);
    return m_printFailed ? 2 : status;
}

} // namespace

int Run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    return Runner(out, err).run(args);
}

} // namespace m51sim
