// The adapter's session with its program: the requests dispatched, launch
// and restart, the stops and ends told to the client with the program's
// output. Breakpoints are in CoreBreakpoints.cpp, running and stepping in
// CoreStepping.cpp, the views of a stopped machine in CoreDebuggeeViews.cpp.
#include "debugger/dap/CoreDebuggee.h"

#include "insight/LineStepper.h"

#include "simrun/BoardRun.h"
#include "simrun/CallStack.h"
#include "common/FileRead.h"
#include "insight/History.h"
#include "insight/LineBack.h"
#include "debugger/SerialPty.h"
#include "toolchain/AssemblyProject.h"
#include "toolchain/Build.h"
#include "toolchain/CBuild.h"

#include "sim/Chip.h"
#include "sim/Machine.h"
#include "board/VirtualBoard.h"

#include <charconv>
#include <filesystem>

namespace m51dap {

namespace fs = std::filesystem;

// The machine's outputs while it runs forward: the serial bytes for the
// debug console, the pins for the board.
struct CoreDebuggee::OutputListener : sim::Listener {
    sim::Listener* board = nullptr;
    std::string sent;
    void pinsChanged(uint64_t cycle, unsigned port, uint8_t levels) override
    {
        if (board)
            board->pinsChanged(cycle, port, levels);
    }
    void serialSent(uint64_t, uint8_t byte) override { sent.push_back(static_cast<char>(byte)); }
};

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

namespace {

std::string SameFileKey(const std::string& path)
{
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(fs::path(path), ec);
    return ec ? fs::path(path).lexically_normal().string() : canonical.string();
}

} // namespace

CoreDebuggee::CoreDebuggee() : listener_(std::make_unique<OutputListener>()) {}

CoreDebuggee::~CoreDebuggee()
{
    if (board_)
        board_->release();
}

void CoreDebuggee::emit(const std::string& event, Json body)
{
    if (sink_)
        sink_(event, std::move(body));
}

Reply CoreDebuggee::request(const std::string& command, const Json& arguments)
{
    if (command == "launch")
        return launch(arguments);
    if (command == "disconnect") {
        mode_ = Mode::Ended;
        return Reply::success();
    }
    if (command == "terminate")
        return end(true);
    if (command == "threads")
        return Reply::success({{"threads", Json::array({{{"id", 1}, {"name", "8051"}}})}});
    if (!machine_)
        return Reply::failure(command == "attach" ? "m51sim launches its program: use a launch configuration"
                                                  : "no program has been launched");
    if (command == "configurationDone")
        return configurationDone();
    if (command == "setBreakpoints")
        return setBreakpoints(arguments);
    if (command == "setFunctionBreakpoints")
        return setFunctionBreakpoints(arguments);
    if (command == "setInstructionBreakpoints")
        return setInstructionBreakpoints(arguments);
    if (command == "setExceptionBreakpoints")
        return Reply::success({{"breakpoints", Json::array()}});
    if (command == "restart") {
        const Json relaunch = arguments.contains("arguments") && arguments["arguments"].is_object()
                                  ? arguments["arguments"] : launchArguments_;
        const bool wasConfigured = configured_;
        const auto requests = breakpointRequests_;
        Reply reply = launch(relaunch);
        if (!reply.ok)
            return reply;
        // The breakpoints go on the lines of the new build.
        for (const auto& [command, arguments] : requests)
            request(command, arguments);
        if (wasConfigured)
            configurationDone();
        return reply;
    }
    if (command == "pause") {
        if (running())
            pauseRequested_ = true;
        return Reply::success();
    }
    if (mode_ == Mode::Ended)
        return Reply::failure("the program has ended");
    if (command == "continue")
        return resume(Mode::Run);
    if (command == "next")
        return resume(Mode::Next);
    if (command == "stepIn")
        return resume(Mode::StepIn);
    if (command == "stepOut")
        return resume(Mode::StepOut);
    if (command == "stepBack")
        return stepBack();
    if (command == "reverseContinue")
        return reverseContinue();
    if (command == "gotoTargets")
        return gotoTargets(arguments);
    if (command == "goto")
        return gotoTarget(arguments);
    if (command == "stackTrace")
        return stackTrace(arguments);
    if (command == "scopes")
        return scopes(arguments);
    if (command == "variables")
        return variables(arguments);
    if (command == "setVariable")
        return setVariable(arguments);
    if (command == "evaluate")
        return evaluate(arguments);
    if (command == "readMemory")
        return readMemory(arguments);
    if (command == "writeMemory")
        return writeMemory(arguments);
    if (command == "disassemble")
        return disassemble(arguments);
    return Reply::failure("m51sim does not know the request \"" + command + "\"");
}

Reply CoreDebuggee::launch(const Json& arguments)
{
    // The program: a file, or C sources as an array (built from their folder).
    std::string path;
    if (arguments.contains("program") && arguments["program"].is_string())
        path = arguments["program"].get<std::string>();
    else if (arguments.contains("program") && arguments["program"].is_array() && !arguments["program"].empty()
             && arguments["program"][0].is_string())
        path = arguments["program"][0].get<std::string>();
    if (path.empty())
        return Reply::failure("launch needs \"program\": an .M51, .asm, .a51, .hex, .ihx or .c file or a project"
                              " (.m51proj, .a51proj)");
    const std::string chipName = arguments.value("chip", std::string("8052"));
    const sim::Chip* chip = sim::findChip(chipName);
    if (!chip)
        return Reply::failure("unknown chip \"" + chipName + "\"");
    const std::string serial = arguments.value("serial", std::string("console"));
    if (serial != "console" && serial != "pty")
        return Reply::failure("serial is \"console\" or \"pty\", not \"" + serial + "\"");

    const toolchain::Language language = toolchain::LanguageOf(path);
    std::string bytes, why;
    if (language != toolchain::Language::C) {
        const auto read = m51::readFileBounded(path, m51::kSourceLimit, why, true);
        if (!read)
            return Reply::failure("cannot read " + path + ": " + why);
        bytes = *read;
    }
    const std::string base = fs::path(path).stem().string();
    const toolchain::BuildInput input{bytes, path, base + (language == toolchain::Language::Assembly
                                                               ? fs::path(path).extension().string() : ".asm")};
    // An assembly source's own lines are the lines the user steps, a module
    // built with the others of its program (as Zelvar builds it).
    const bool assembly = language == toolchain::Language::Assembly;
    toolchain::Program program = assembly ? toolchain::AssemblyProjectBuild(true).run(input)
                                          : toolchain::BuildFor(language)->run(input);
    // A project file's messages name the module it is built as from.
    const std::string shown = assembly && toolchain::IsAssemblyProjectFile(path) && !program.files.empty()
                                  ? program.files.front()
                                  : path;
    const std::string asmName = assembly ? fs::path(shown).filename().string() : base + ".asm";
    std::string messages;
    for (const toolchain::Diagnostic& d : toolchain::NamedDiagnostics(program, shown, asmName))
        messages += toolchain::FormatBuildMessage(d) + "\n";
    if (!messages.empty())
        emit("output", {{"category", "stderr"}, {"output", messages}});
    if (!program.ok)
        return Reply::failure("the program has errors:\n" + messages);

    sim::Board boardSettings;
    boardSettings.crystalHz = arguments.value("xtal", 11059200.0);
    boardSettings.xramSize = std::min(arguments.value("xram", 65536u), 65536u);
    if (const double baud = arguments.value("lineBaud", 0.0); baud > 0) {
        boardSettings.serial = sim::SerialLine::RealLine;
        boardSettings.lineBaud = baud;
    }
    if (boardSettings.crystalHz <= 0 || boardSettings.crystalHz > 1e9)
        return Reply::failure("xtal must be a frequency in Hz");

    // The board: as given, else NAME.board beside the program when there is one.
    std::string boardPath = arguments.value("board", std::string());
    if (boardPath.empty()) {
        const fs::path beside = fs::path(path).replace_extension(".board");
        std::error_code ec;
        if (fs::is_regular_file(beside, ec))
            boardPath = beside.string();
    }
    std::unique_ptr<board::VirtualBoard> virtualBoard;
    if (!boardPath.empty()) {
        const auto text = m51::readFileBounded(boardPath, m51::kInputLimit, why, true);
        if (!text)
            return Reply::failure("cannot read " + boardPath + ": " + why);
        virtualBoard = m51sim::MakeBoard(*text, boardPath, boardSettings.crystalHz, why);
        if (!virtualBoard)
            return Reply::failure(why);
    }

    std::unique_ptr<m51dbg::SerialPty> pty;
    if (serial == "pty") {
        pty = std::make_unique<m51dbg::SerialPty>();
        if (const std::string error = pty->open(); !error.empty())
            return Reply::failure(error);
        emit("output", {{"category", "console"},
                        {"output", "m51sim: the board's serial port is " + pty->path() + " (open it in a terminal)\n"}});
    }
    pty_ = std::move(pty);

    if (board_)
        board_->release();
    stepper_.reset();
    history_.reset();
    machine_ = std::make_unique<sim::Machine>(*chip, boardSettings);
    machine_->loadCode(program.code.data(), program.code.size());
    machine_->reset();
    board_ = std::move(virtualBoard);
    listener_->board = board_.get();
    listener_->sent.clear();
    if (board_)
        board_->attach(machine_.get());
    history_ = std::make_unique<insight::History>(*machine_);
    history_->setListener(listener_.get());
    program_ = std::move(program);
    lineTable_ = toolchain::LineTable(program_);
    stepper_ = std::make_unique<insight::LineStepper>(*history_, *machine_);
    stepper_->setProgram(lineTable_, program_.map);
    names_ = m51dbg::NamesOf(program_);
    launchArguments_ = arguments;
    stopOnEntry_ = arguments.value("stopOnEntry", false);
    // Breakpoints set before a restart go on the new build's lines.
    lineBreakpoints_.clear();
    functionBreakpoints_.clear();
    instructionBreakpoints_.clear();
    breakpointRequests_.clear();
    rebuildBreakpointTable();
    mode_ = Mode::Idle;
    configured_ = false;
    pauseRequested_ = false;
    return Reply::success();
}

Reply CoreDebuggee::configurationDone()
{
    configured_ = true;
    if (stopOnEntry_) {
        stop("entry");
        return Reply::success();
    }
    mode_ = Mode::Run;
    breakAtFirst_ = true;
    return Reply::success();
}

int CoreDebuggee::fileIndex(const std::string& path) const
{
    const std::string key = SameFileKey(path);
    for (size_t i = 0; i < program_.files.size(); ++i)
        if (SameFileKey(program_.files[i]) == key)
            return static_cast<int>(i);
    // A client that names files differently (another mount, letter case): the same name.
    const std::string name = Lower(fs::path(path).filename().string());
    for (size_t i = 0; i < program_.files.size(); ++i)
        if (Lower(fs::path(program_.files[i]).filename().string()) == name)
            return static_cast<int>(i);
    return -1;
}

void CoreDebuggee::flushOutput()
{
    if (listener_->sent.empty())
        return;
    if (pty_) {
        pty_->give(std::exchange(listener_->sent, {}));
        return;
    }
    emit("output", {{"category", "stdout"}, {"output", std::exchange(listener_->sent, {})}});
}

void CoreDebuggee::stop(const std::string& reason, const std::vector<int>& hitIds)
{
    flushOutput();
    mode_ = Mode::Stopped;
    pauseRequested_ = false;
    structured_.clear();
    if (board_)
        board_->settle();
    Json body{{"reason", reason}, {"threadId", 1}, {"allThreadsStopped", true}};
    if (!hitIds.empty())
        body["hitBreakpointIds"] = hitIds;
    emit("stopped", std::move(body));
}

Reply CoreDebuggee::end(bool terminated)
{
    if (mode_ == Mode::Ended || !machine_) {
        mode_ = Mode::Ended;
        return Reply::success();
    }
    flushOutput();
    mode_ = Mode::Ended;
    if (!terminated)
        emit("exited", {{"exitCode", 0}});
    emit("terminated", Json::object());
    return Reply::success();
}

} // namespace m51dap
