// The adapter's program: launch, breakpoints and running, stepping forward
// and back. The views of a stopped machine are in CoreDebuggeeViews.cpp.
#include "CoreDebuggee.h"

#include "BoardRun.h"
#include "CallStack.h"
#include "FileRead.h"
#include "History.h"
#include "LineBack.h"
#include "PtyPort.h"
#include "toolchain/Build.h"
#include "toolchain/CBuild.h"

#include "Chip.h"
#include "Machine.h"
#include "VirtualBoard.h"

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

namespace {

constexpr uint64_t kSliceCycles = 20000;         // about 20 ms of an 11.0592 MHz 8051, 1-2 ms of host time
constexpr unsigned kStepSliceInstructions = 20000;

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::optional<unsigned> ParseCount(std::string text)
{
    while (!text.empty() && text.front() == ' ')
        text.erase(0, 1);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "5" and "== 5" (the fifth hit), ">= 5", "> 5", "% 5" (every fifth).
std::optional<std::pair<int, unsigned>> ParseHitCondition(const std::string& text)
{
    static const std::pair<const char*, int> ops[] = {{">=", 2}, {"==", 1}, {">", 3}, {"%", 4}, {"=", 1}};
    for (const auto& [prefix, op] : ops) {
        const size_t at = text.find_first_not_of(' ');
        if (at != std::string::npos && text.compare(at, std::char_traits<char>::length(prefix), prefix) == 0) {
            const auto count = ParseCount(text.substr(at + std::char_traits<char>::length(prefix)));
            return count ? std::optional(std::pair{op, *count}) : std::nullopt;
        }
    }
    const auto count = ParseCount(text);
    return count ? std::optional(std::pair{1, *count}) : std::nullopt;
}

std::string SameFileKey(const std::string& path)
{
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(fs::path(path), ec);
    return ec ? fs::path(path).lexically_normal().string() : canonical.string();
}

} // namespace

CoreDebuggee::CoreDebuggee() : listener_(std::make_unique<OutputListener>()), isBreakpoint_(0x10000) {}

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
    if (command == "stackTrace")
        return stackTrace(arguments);
    if (command == "scopes")
        return scopes();
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
        return Reply::failure("launch needs \"program\": an .M51, .asm, .a51, .hex, .ihx or .c file or a project");
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
    // An assembly source's own lines are the lines the user steps.
    toolchain::Program program = language == toolchain::Language::Assembly
                                     ? toolchain::AssemblyBuild(true).run(input)
                                     : toolchain::BuildFor(language)->run(input);
    std::string messages;
    for (const toolchain::Diagnostic& d : toolchain::NamedDiagnostics(program, path, base + ".asm"))
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

    std::unique_ptr<PtyPort> pty;
    if (serial == "pty") {
        pty = std::make_unique<PtyPort>();
        if (const std::string error = pty->open(); !error.empty())
            return Reply::failure(error);
        emit("output", {{"category", "console"},
                        {"output", "m51sim: the board's serial port is " + pty->path() + " (open it in a terminal)\n"}});
    }
    pty_ = std::move(pty);

    if (board_)
        board_->release();
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

Json CoreDebuggee::makeBreakpoint(Breakpoint& breakpoint, int address, const Json& entry, std::string& message)
{
    breakpoint.id = nextBreakpointId_++;
    breakpoint.address = address;
    const std::string condition = entry.value("condition", std::string());
    const std::string hit = entry.value("hitCondition", std::string());
    if (!condition.empty() && isC()) {
        breakpoint.cCondition = condition;  // checked when first reached: its names depend on the place
    } else if (!condition.empty()) {
        const m51dbg::ConditionParse parsed = m51dbg::ParseCondition(condition, names_);
        if (!parsed.error.empty())
            message = "condition: " + parsed.error;
        breakpoint.condition = parsed.condition;
    }
    if (!hit.empty()) {
        if (const auto parsed = ParseHitCondition(hit))
            breakpoint.hit = {static_cast<HitCondition::Op>(parsed->first), parsed->second};
        else
            message = "hit count \"" + hit + "\" is not a number, \">= N\" or \"% N\"";
    }
    const bool verified = address >= 0 && message.empty();
    if (!verified)
        breakpoint.address = -1;
    Json out{{"id", breakpoint.id}, {"verified", verified}};
    if (!message.empty())
        out["message"] = message;
    if (address >= 0)
        out["instructionReference"] = "code:0x" + [&] {
            char text[16];
            std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(address) & 0xFFFF);
            return std::string(text);
        }();
    return out;
}

Reply CoreDebuggee::setBreakpoints(const Json& arguments)
{
    const Json source = arguments.value("source", Json::object());
    const std::string path = source.value("path", std::string());
    const int file = fileIndex(path);
    Json result = Json::array();
    std::vector<Breakpoint> placed;
    const Json asked = arguments.contains("breakpoints") && arguments["breakpoints"].is_array()
                           ? arguments["breakpoints"] : Json::array();
    for (const Json& entry : asked) {
        if (!entry.is_object())
            continue;
        const int wanted = entry.value("line", 0) - 1;
        // The line, or the first line with code after it in the same file.
        int line = -1;
        int address = -1;
        for (const toolchain::LineRange& range : program_.lines)
            if (range.file == file && range.line >= wanted && (line < 0 || range.line < line
                                                                || (range.line == line && range.address < address))) {
                line = range.line;
                address = range.address;
            }
        std::string message = file < 0  ? "this file is not a source of the program"
                              : line < 0 ? "no code at or after this line"
                                         : "";
        Breakpoint breakpoint;
        Json out = makeBreakpoint(breakpoint, message.empty() ? address : -1, entry, message);
        if (line >= 0) {
            out["line"] = line + 1;
            out["source"] = sourceOf(file);
        }
        result.push_back(out);
        placed.push_back(breakpoint);
    }
    if (file >= 0)
        lineBreakpoints_[file] = std::move(placed);
    breakpointRequests_["setBreakpoints " + path] = {"setBreakpoints", arguments};
    rebuildBreakpointTable();
    return Reply::success({{"breakpoints", result}});
}

Reply CoreDebuggee::setFunctionBreakpoints(const Json& arguments)
{
    Json result = Json::array();
    functionBreakpoints_.clear();
    breakpointRequests_["setFunctionBreakpoints"] = {"setFunctionBreakpoints", arguments};
    const auto labels = program_.codeLabels();
    for (const Json& entry : arguments.value("breakpoints", Json::array())) {
        if (!entry.is_object())
            continue;
        const std::string name = entry.value("name", std::string());
        int address = -1;
        for (const toolchain::Function& function : program_.functions)
            if (Lower(function.name) == Lower(name) || Lower(function.name) == "_" + Lower(name))
                address = function.start;
        for (const auto& [label, at] : labels)
            if (address < 0 && Lower(label) == Lower(name))
                address = at;
        std::string message = address < 0 ? "no procedure, label or function \"" + name + "\"" : "";
        Breakpoint breakpoint;
        result.push_back(makeBreakpoint(breakpoint, address, entry, message));
        functionBreakpoints_.push_back(breakpoint);
    }
    rebuildBreakpointTable();
    return Reply::success({{"breakpoints", result}});
}

Reply CoreDebuggee::setInstructionBreakpoints(const Json& arguments)
{
    Json result = Json::array();
    instructionBreakpoints_.clear();
    breakpointRequests_["setInstructionBreakpoints"] = {"setInstructionBreakpoints", arguments};
    for (const Json& entry : arguments.value("breakpoints", Json::array())) {
        if (!entry.is_object())
            continue;
        std::string reference = entry.value("instructionReference", std::string());
        if (reference.rfind("code:", 0) == 0)
            reference.erase(0, 5);
        long address = -1;
        try {
            size_t used = 0;
            address = std::stol(reference, &used, 0);
            if (used != reference.size())
                address = -1;
        } catch (const std::exception&) {
            address = -1;
        }
        if (address >= 0)
            address += entry.value("offset", 0);
        std::string message = address < 0 || address > 0xFFFF ? "not a code address: \"" + reference + "\"" : "";
        Breakpoint breakpoint;
        result.push_back(makeBreakpoint(breakpoint, message.empty() ? static_cast<int>(address) : -1, entry, message));
        instructionBreakpoints_.push_back(breakpoint);
    }
    rebuildBreakpointTable();
    return Reply::success({{"breakpoints", result}});
}

void CoreDebuggee::rebuildBreakpointTable()
{
    std::fill(isBreakpoint_.begin(), isBreakpoint_.end(), 0);
    auto mark = [this](const std::vector<Breakpoint>& list) {
        for (const Breakpoint& b : list)
            if (b.address >= 0)
                isBreakpoint_[static_cast<size_t>(b.address)] = 1;
    };
    for (const auto& [file, list] : lineBreakpoints_)
        mark(list);
    mark(functionBreakpoints_);
    mark(instructionBreakpoints_);
}

// Every breakpoint at the address counts the hit when its condition holds;
// the program stops when one of them says so.
bool CoreDebuggee::breakpointStops(uint16_t address, std::vector<int>& hitIds)
{
    const m51dbg::ByteReader read = [this](m51dbg::WatchSpace space, unsigned a) { return readByte(space, a); };
    auto check = [&](std::vector<Breakpoint>& list) {
        for (Breakpoint& b : list) {
            if (b.address != address)
                continue;
            if (b.condition && !m51dbg::EvaluateCondition(*b.condition, read, address))
                continue;
            if (!b.cCondition.empty()) {
                const toolchain::CResult result = evaluateC(b.cCondition);
                const auto number = result.value ? toolchain::NumberOf(*result.value, program_, CoreMemory(*this))
                                                 : std::nullopt;
                if (!number) {
                    // A condition that cannot be worked out stops, and says why.
                    emit("output", {{"category", "console"},
                                    {"output", "breakpoint condition \"" + b.cCondition + "\": "
                                                   + (result.error.empty() ? "not a number" : result.error) + "\n"}});
                } else if (*number == 0) {
                    continue;
                }
            }
            ++b.hits;
            bool stops = true;
            switch (b.hit.op) {
            case HitCondition::Op::None: break;
            case HitCondition::Op::Equal: stops = b.hits == b.hit.count; break;
            case HitCondition::Op::AtLeast: stops = b.hits >= b.hit.count; break;
            case HitCondition::Op::Greater: stops = b.hits > b.hit.count; break;
            case HitCondition::Op::Multiple: stops = b.hit.count == 0 || b.hits % b.hit.count == 0; break;
            }
            if (stops)
                hitIds.push_back(b.id);
        }
    };
    for (auto& [file, list] : lineBreakpoints_)
        check(list);
    check(functionBreakpoints_);
    check(instructionBreakpoints_);
    return !hitIds.empty();
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

Reply CoreDebuggee::resume(Mode mode)
{
    if (running())
        return Reply::failure("the program is running: pause it first");
    const uint16_t pc = machine_->pc();
    const uint8_t sp = machine_->read(sim::Space::Sfr, 0x81);
    walk_.begin(lineTable_, program_.map, pc);
    through_ = {};
    outSp_ = sp;
    ownLineAddress_ = walk_.lineAddress(walk_.line()).value_or(-1);
    firstStep_ = true;
    breakAtFirst_ = false;
    mode_ = mode;
    return Reply::success(mode == Mode::Run ? Json{{"allThreadsContinued", true}} : Json::object());
}

// One instruction of next, step in or step out, by the rules of Zelvar's
// debugger (LineWalk): calls and interrupts run through when stepping over.
bool CoreDebuggee::stepOnce()
{
    const uint16_t pc = machine_->pc();
    const bool first = std::exchange(firstStep_, false);
    const uint8_t op = machine_->read(sim::Space::Code, pc);
    const uint8_t spBefore = machine_->read(sim::Space::Sfr, 0x81);
    if (mode_ == Mode::StepOut && !first && m51dbg::IsReturnOpcode(op) && spBefore <= outSp_) {
        history_->step();
        stop("step");
        return true;
    }
    if (mode_ == Mode::Next && !through_.active)
        if (const auto back = m51dbg::LineWalk::CallReturn(op, pc))
            through_ = {true, *back, spBefore};
    history_->step();
    const uint16_t now = machine_->pc();
    const uint8_t spNow = machine_->read(sim::Space::Sfr, 0x81);
    if (machine_->poweredDown()) {
        end(false);
        return true;
    }
    if (mode_ == Mode::Next) {
        if (!through_.active && m51dbg::LineWalk::EnteredInterrupt(op, spBefore, now, spNow)) {
            const uint16_t back = static_cast<uint16_t>(machine_->read(sim::Space::Iram, spNow) << 8
                                                        | machine_->read(sim::Space::Iram, spNow - 1u));
            through_ = {true, back, spBefore};
            return false;
        }
        if (through_.active && now == through_.address && spNow <= through_.sp)
            through_.active = false;
    }
    std::vector<int> hits;
    if (isBreakpoint_[now] && breakpointStops(now, hits)) {
        stop("breakpoint", hits);
        return true;
    }
    if (mode_ == Mode::Next && !through_.active && walk_.endsAt(now)) {
        stop("step");
        return true;
    }
    toolchain::SourceLine line;
    if (mode_ == Mode::StepIn && now != ownLineAddress_ && walk_.isLineStart(now, &line)) {
        stop("step");
        return true;
    }
    return false;
}

void CoreDebuggee::runSlice()
{
    if (!running())
        return;
    if (pauseRequested_) {
        stop("pause");
        return;
    }
    // What the terminal typed, a little at a time: a flood waits in the pseudo-terminal.
    constexpr std::size_t kMaxWaiting = 1024;
    if (pty_ && machine_->serialPending() < kMaxWaiting)
        if (const std::string typed = pty_->take(kMaxWaiting - machine_->serialPending()); !typed.empty())
            history_->sendSerial(typed);
    if (mode_ != Mode::Run) {
        for (unsigned i = 0; i < kStepSliceInstructions; ++i)
            if (stepOnce())
                return;
        flushOutput();
        return;
    }
    const sim::Stop result = history_->run(kSliceCycles, isBreakpoint_, breakAtFirst_);
    breakAtFirst_ = true;
    if (result == sim::Stop::PowerDown) {
        end(false);
        return;
    }
    if (result == sim::Stop::Breakpoint) {
        std::vector<int> hits;
        if (breakpointStops(machine_->pc(), hits)) {
            stop("breakpoint", hits);
            return;
        }
        breakAtFirst_ = false;  // a condition that did not hold: run on past it
    }
    flushOutput();
}

Reply CoreDebuggee::stepBack()
{
    if (running())
        return Reply::failure("the program is running: pause it first");
    const auto start = insight::PreviousLineStart(*history_, *machine_, lineTable_, program_.map);
    if (!start || !history_->goTo(*start))
        return Reply::failure("there is no recorded step to go back to");
    stop("step");
    return Reply::success();
}

Reply CoreDebuggee::reverseContinue()
{
    if (running())
        return Reply::failure("the program is running: pause it first");
    if (history_->position() <= history_->oldest())
        return Reply::failure("there is no recorded step to go back to");
    std::vector<uint16_t> addresses;
    for (unsigned a = 0; a < isBreakpoint_.size(); ++a)
        if (isBreakpoint_[a])
            addresses.push_back(static_cast<uint16_t>(a));
    const bool found = history_->reverseContinue(addresses, {});
    if (!found)
        history_->goTo(history_->oldest());
    stop(found ? "breakpoint" : "step");
    return Reply::success();
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
