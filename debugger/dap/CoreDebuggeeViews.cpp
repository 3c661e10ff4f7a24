// The adapter's views of the stopped machine: the call stack, the scopes and
// their variables, evaluated expressions, memory and disassembly. Values are
// written as m51sim --print writes them (hexadecimal, "2C").
#include "debugger/dap/CoreDebuggee.h"

#include "insight/LineStepper.h"

#include "simrun/BoardRun.h"
#include "simrun/CallStack.h"
#include "simrun/CoreRun.h"
#include "insight/History.h"
#include "simrun/MachineItems.h"

#include "sim/Chip.h"
#include "sim/Disassembler.h"
#include "sim/Machine.h"
#include "sim/SfrTable.h"
#include "board/VirtualBoard.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

namespace m51dap {

namespace {

// SfrBits + an SFR's address; CallerLocals + a caller's frame id (2 and up).
enum Reference { Locals = 1, Globals = 2, Registers = 3, Sfrs = 4, SfrBits = 0x100, CallerLocals = 0x1000 };
constexpr int kMaxFrameId = 0xFFF;
constexpr int kStructured = 0x10000;  // + the index of a structured C value shown since the stop

std::string Hex(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

std::string CodeReference(unsigned address) { return "code:0x" + Hex(address, 4); }

// What follows "=" in m51sim's "NAME=VALUE".
std::string ValuePart(const std::string& printed)
{
    const size_t equals = printed.find('=');
    return equals == std::string::npos ? printed : printed.substr(equals + 1);
}

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string EncodeBase64(const std::vector<uint8_t>& bytes)
{
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const unsigned n = bytes[i] << 16 | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0)
                           | (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        out += kBase64[n >> 18 & 63];
        out += kBase64[n >> 12 & 63];
        out += i + 1 < bytes.size() ? kBase64[n >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? kBase64[n & 63] : '=';
    }
    return out;
}

std::optional<std::vector<uint8_t>> DecodeBase64(const std::string& text)
{
    std::vector<uint8_t> out;
    unsigned bits = 0, count = 0;
    for (char c : text) {
        if (c == '=' || c == '\n' || c == '\r')
            continue;
        const char* at = std::strchr(kBase64, c);
        if (!at || !c)
            return std::nullopt;
        bits = bits << 6 | static_cast<unsigned>(at - kBase64);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<uint8_t>(bits >> count));
        }
    }
    return out;
}

struct MemoryPlace {
    sim::Space space = sim::Space::Code;
    long address = 0;
    unsigned size = 0x10000;
};

// "code", "iram", "xram", "sfr", each optionally ":ADDRESS"; a bare number is a code address.
std::optional<MemoryPlace> ParseReference(const std::string& reference, long offset)
{
    static const std::pair<const char*, MemoryPlace> spaces[] = {
        {"code", {sim::Space::Code, 0, 0x10000}}, {"iram", {sim::Space::Iram, 0, 0x100}},
        {"xram", {sim::Space::Xram, 0, 0x10000}}, {"sfr", {sim::Space::Sfr, 0, 0x100}}};
    MemoryPlace place;
    std::string number = reference;
    for (const auto& [name, space] : spaces) {
        const std::string prefix = name;
        if (reference.rfind(prefix, 0) == 0) {
            place = space;
            number = reference.substr(prefix.size());
            if (!number.empty() && number[0] == ':')
                number.erase(0, 1);
            break;
        }
    }
    if (!number.empty()) {
        try {
            size_t used = 0;
            place.address = std::stol(number, &used, 0);
            if (used != number.size())
                return std::nullopt;
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
    place.address += offset;
    return place;
}

} // namespace

m51dbg::MachineMemory CoreDebuggee::memory() const
{
    insight::History* history = history_.get();
    return m51dbg::MachineMemory(*machine_, [history](sim::Space space, unsigned address, uint8_t value) {
        history->write(space, address, value);
    });
}

toolchain::CResult CoreDebuggee::evaluateC(const std::string& expression, const toolchain::StopPlace& place) const
{
    return toolchain::Evaluate(expression, program_, memory(), place);
}

// A caller's stack locals are in its frame: SDCC keeps the innermost frame
// in _bp, and each function with a frame saved its caller's _bp at the
// frame's first byte.
std::optional<toolchain::StopPlace> CoreDebuggee::placeOf(int frameId) const
{
    if (frameId <= 1)
        return here();
    const m51dbg::StackView stack = m51dbg::ReadStack(m51sim::CaptureState(*machine_), program_,
                                                      m51dbg::ProceduresOf(program_), machine_->chip().timer2);
    if (frameId > static_cast<int>(stack.frames.size()))
        return std::nullopt;
    const m51dbg::MachineMemory memory = this->memory();
    std::optional<uint8_t> base;
    if (const toolchain::Symbol* bp = program_.findSymbol("_bp"); bp && bp->storage == toolchain::Storage::InternalRam)
        base = memory.read(toolchain::Storage::InternalRam, static_cast<uint32_t>(bp->address));
    auto hasFrame = [this](uint16_t at) {
        for (const toolchain::Symbol* symbol : toolchain::LocalsAt(program_, at))
            if (symbol->storage == toolchain::Storage::StackRelative)
                return true;
        return false;
    };
    for (int i = 0; i + 1 < frameId && base; ++i)
        if (hasFrame(stack.frames[static_cast<size_t>(i)].at))
            base = toolchain::CallerFrame(*base, memory);
    return toolchain::StopPlace{stack.frames[static_cast<size_t>(frameId - 1)].at, base.value_or(0),
                                m51dbg::SavedRegisters(program_.code, stack.frames[static_cast<size_t>(frameId - 2)])};
}

Json CoreDebuggee::cVariable(const std::string& name, const toolchain::CValue& value)
{
    Json variable{{"name", name},
                  {"value", toolchain::FormatValue(value, program_, memory(), toolchain::ValueStyle::Rich)},
                  {"type", toolchain::TypeName(value, program_)},
                  {"variablesReference", 0}};
    if (toolchain::HasChildren(value, program_)) {
        structured_.push_back(value);
        variable["variablesReference"] = kStructured + static_cast<int>(structured_.size()) - 1;
    }
    return variable;
}

Json CoreDebuggee::sourceOf(int file) const
{
    if (file < 0 || file >= static_cast<int>(program_.files.size()))
        return Json::object();
    const std::string& path = program_.files[static_cast<size_t>(file)];
    return {{"name", std::filesystem::path(path).filename().string()}, {"path", path}};
}

uint8_t CoreDebuggee::readByte(m51dbg::WatchSpace space, unsigned address) const
{
    switch (space) {
    case m51dbg::WatchSpace::Iram: return machine_->read(sim::Space::Iram, address);
    case m51dbg::WatchSpace::Sfr: return machine_->read(sim::Space::Sfr, address);
    case m51dbg::WatchSpace::Xram: return machine_->read(sim::Space::Xram, address);
    case m51dbg::WatchSpace::Code: return machine_->read(sim::Space::Code, address);
    }
    return 0xFF;
}

void CoreDebuggee::writeByte(m51dbg::WatchSpace space, unsigned address, uint8_t value)
{
    static const sim::Space spaces[] = {sim::Space::Iram, sim::Space::Sfr, sim::Space::Xram, sim::Space::Code};
    history_->write(spaces[static_cast<int>(space)], address, value);
    if (space == m51dbg::WatchSpace::Code)
        stepper_->codeChanged(static_cast<uint16_t>(address));
}

Reply CoreDebuggee::stackTrace(const Json& arguments)
{
    const m51dbg::StackView stack = m51dbg::ReadStack(m51sim::CaptureState(*machine_), program_,
                                                      m51dbg::ProceduresOf(program_), machine_->chip().timer2);
    const size_t start = std::min<size_t>(arguments.value("startFrame", 0u), stack.frames.size());
    const unsigned levels = arguments.value("levels", 0u);
    Json frames = Json::array();
    for (size_t i = start; i < stack.frames.size() && (levels == 0 || i - start < levels); ++i) {
        const m51dbg::StackFrame& f = stack.frames[i];
        std::string name = f.procedure.empty() ? "code " + Hex(f.entry, 4) + "H" : f.procedure;
        if (const toolchain::Function* function = program_.functionAt(f.at); function && f.procedure.empty())
            name = function->name;
        if (f.enteredBy == m51dbg::StackFrame::Entry::Interrupt)
            name += " (interrupt)";
        Json frame{{"id", i + 1}, {"name", name}, {"line", 0}, {"column", 0},
                   {"instructionPointerReference", CodeReference(f.at)}};
        if (const auto lines = program_.linesAt(f.at); !lines.empty()) {
            frame["source"] = sourceOf(lines.front().file);
            frame["line"] = lines.front().line + 1;
            frame["column"] = 1;
        } else {
            frame["presentationHint"] = "subtle";
        }
        frames.push_back(frame);
    }
    return Reply::success({{"stackFrames", frames}, {"totalFrames", stack.frames.size()}});
}

Reply CoreDebuggee::scopes(const Json& arguments)
{
    const int frameId = arguments.value("frameId", 1);
    if (frameId > 1 && (frameId > kMaxFrameId || !placeOf(frameId)))
        return Reply::failure("no stack frame " + std::to_string(frameId));
    const int locals = frameId > 1 ? CallerLocals + frameId : Locals;
    auto scope = [](const char* name, int reference, bool expensive) {
        return Json{{"name", name}, {"variablesReference", reference}, {"expensive", expensive}};
    };
    Json list = Json::array({scope("Locals", locals, false), scope("Globals", Globals, false),
                             scope("Registers", Registers, false), scope("SFRs", Sfrs, true)});
    list[2]["presentationHint"] = "registers";
    list[0]["presentationHint"] = "locals";
    return Reply::success({{"scopes", list}});
}

std::optional<std::string> CoreDebuggee::valueOf(const std::string& expression, std::string& error,
                                                  const toolchain::StopPlace& place) const
{
    // A C program's names and expressions, as C reads them; registers and iram[..] as m51sim prints them.
    std::string cError;
    if (isC()) {
        const toolchain::CResult result = evaluateC(expression, place);
        if (result.value)
            return toolchain::FormatValue(*result.value, program_, memory());
        cError = result.error;
    }
    if (const auto item = m51sim::ParsePrintItem(expression)) {
        if (item->kind == m51sim::PrintItem::Kind::Lcd || item->kind == m51sim::PrintItem::Kind::SevenSeg) {
            if (!board_) {
                error = expression + " needs a board";
                return std::nullopt;
            }
            std::string text;
            for (const std::string& line : m51sim::FormatBoardItem(*item, *board_, error))
                text += (text.empty() ? "" : "\n") + line;
            return text;
        }
        if (const auto text = m51sim::FormatItem(*item, m51sim::CaptureState(*machine_)))
            return ValuePart(*text);
        const sim::Space space = item->kind == m51sim::PrintItem::Kind::Xram ? sim::Space::Xram : sim::Space::Code;
        return ValuePart(m51sim::FormatByte(*item, machine_->read(space, item->address)));
    }
    const m51dbg::WatchParse watch = m51dbg::ParseWatch(expression, names_);
    if (watch.target) {
        const m51dbg::ByteReader read = [this](m51dbg::WatchSpace space, unsigned a) { return readByte(space, a); };
        return m51dbg::FormatWatch(*watch.target, m51dbg::ReadWatch(*watch.target, read, machine_->pc()),
                                   m51dbg::WatchFormat::Hex);
    }
    // A name of the program with a place in memory: its bytes, as they lie
    // (a C function's locals only as C finds them, in their own function).
    const toolchain::Symbol* symbol = program_.findSymbol(expression);
    if (symbol && isC() && (symbol->scope == toolchain::Scope::Function || symbol->scope == toolchain::Scope::Block))
        symbol = nullptr;
    if (symbol) {
        const int size = symbol->type >= 0 && symbol->type < static_cast<int>(program_.types.size())
                             ? std::clamp(program_.types[static_cast<size_t>(symbol->type)].size, 1, 16) : 1;
        sim::Space space = sim::Space::Iram;
        switch (symbol->storage) {
        case toolchain::Storage::Constant: return Hex(static_cast<unsigned>(symbol->address), 2) + "H";
        case toolchain::Storage::Code: space = sim::Space::Code; break;
        case toolchain::Storage::ExternalRam: space = sim::Space::Xram; break;
        case toolchain::Storage::Sfr: space = sim::Space::Sfr; break;
        case toolchain::Storage::InternalRam: break;
        case toolchain::Storage::Bit: {
            const unsigned bit = static_cast<unsigned>(symbol->address);
            const uint8_t byte = bit < 0x80 ? machine_->read(sim::Space::Iram, 0x20 + bit / 8)
                                            : machine_->read(sim::Space::Sfr, bit & 0xF8);
            return std::to_string(byte >> (bit & 7) & 1);
        }
        default:
            error = expression + " lives in a register or on the stack: its value is not shown yet";
            return std::nullopt;
        }
        std::string text;
        for (int i = 0; i < size; ++i)
            text += (i ? " " : "") + Hex(machine_->read(space, static_cast<unsigned>(symbol->address + i)), 2);
        return text;
    }
    error = !cError.empty() ? cError : watch.error.empty() ? "unknown name \"" + expression + "\"" : watch.error;
    return std::nullopt;
}

Reply CoreDebuggee::variables(const Json& arguments)
{
    const int reference = arguments.value("variablesReference", 0);
    // The Locals of the innermost frame or of a caller, in that frame's function.
    const bool callerLocals = reference > CallerLocals + 1 && reference <= CallerLocals + kMaxFrameId;
    const bool locals = reference == Locals || callerLocals;
    const std::optional<toolchain::StopPlace> place = callerLocals ? placeOf(reference - CallerLocals) : here();
    if (!place)
        return Reply::failure("no stack frame " + std::to_string(reference - CallerLocals));
    Json list = Json::array();
    auto add = [&](const std::string& name, const std::string& expression, int children = 0,
                   const std::string& memory = {}) {
        std::string error;
        const auto value = valueOf(expression, error, *place);
        Json variable{{"name", name}, {"value", value ? *value : error}, {"variablesReference", children}};
        if (expression != name)
            variable["evaluateName"] = expression;
        if (!memory.empty())
            variable["memoryReference"] = memory;
        list.push_back(variable);
    };
    const std::vector<sim::SfrInfo> sfrs = sim::sfrsOf(&machine_->chip());
    if (reference == Registers) {
        for (const char* name : {"A", "B", "PSW", "SP", "DPTR", "PC", "R0", "R1", "R2", "R3", "R4", "R5", "R6", "R7"})
            add(name, name);
    } else if (reference == Sfrs) {
        for (const sim::SfrInfo& sfr : sfrs)
            add(sfr.name, "sfr[" + Hex(sfr.address, 2) + "]", sfr.bitAddressable() ? SfrBits + sfr.address : 0,
                "sfr:0x" + Hex(sfr.address, 2));
    } else if (reference >= SfrBits + 0x80 && reference <= SfrBits + 0xFF) {
        for (unsigned bit = 0; bit < 8; ++bit)
            add(sim::bitName(sfrs, static_cast<uint8_t>(reference - SfrBits + bit)),
                sim::bitName(sfrs, static_cast<uint8_t>(reference - SfrBits + bit)));
    } else if (reference >= kStructured && reference - kStructured < static_cast<int>(structured_.size())) {
        const toolchain::CValue parent = structured_[static_cast<size_t>(reference - kStructured)];
        for (const auto& [name, value] : toolchain::ChildrenOf(parent, program_, memory()))
            list.push_back(cVariable(name, value));
    } else if (isC() && (locals || reference == Globals)) {
        std::vector<const toolchain::Symbol*> symbols;
        if (locals) {
            symbols = toolchain::LocalsAt(program_, place->pc);
        } else {
            for (const toolchain::Symbol& symbol : program_.symbols)
                if ((symbol.scope == toolchain::Scope::Global || symbol.scope == toolchain::Scope::File)
                    && symbol.type >= 0 && symbol.storage != toolchain::Storage::Code
                    && symbol.storage != toolchain::Storage::Constant)
                    symbols.push_back(&symbol);
        }
        for (const toolchain::Symbol* symbol : symbols) {
            const toolchain::CResult result = evaluateC(symbol->name, *place);
            if (result.value)
                list.push_back(cVariable(symbol->name, *result.value));
            else
                list.push_back({{"name", symbol->name}, {"value", result.error}, {"variablesReference", 0}});
        }
    } else if (reference == Globals) {
        for (const auto& [name, target] : names_)
            add(name, name);
        for (const toolchain::Symbol& symbol : program_.symbols)
            if (symbol.scope != toolchain::Scope::Function && symbol.scope != toolchain::Scope::Block
                && symbol.storage != toolchain::Storage::Code && symbol.storage != toolchain::Storage::Constant
                && !names_.count(symbol.name) && symbol.type >= 0)
                add(symbol.name, symbol.name);
    } else if (locals) {
        const toolchain::Function* function = program_.functionAt(place->pc);
        const int index = function ? static_cast<int>(function - program_.functions.data()) : -1;
        for (const toolchain::Symbol& symbol : program_.symbols)
            if (index >= 0 && symbol.function == index)
                add(symbol.name, symbol.name);
    } else {
        return Reply::failure("no variables with reference " + std::to_string(reference));
    }
    return Reply::success({{"variables", list}});
}

Reply CoreDebuggee::setVariable(const Json& arguments)
{
    if (running())
        return Reply::failure("the program is running: pause it first");
    const std::string name = arguments.value("name", std::string());
    const std::string text = arguments.value("value", std::string());
    const int reference = arguments.value("variablesReference", 0);
    const bool callerLocals = reference > CallerLocals + 1 && reference <= CallerLocals + kMaxFrameId;
    // A C variable (of the frame whose Locals show it), or a field or element of one.
    if (isC() && (reference == Locals || reference == Globals || callerLocals || reference >= kStructured)) {
        const std::optional<toolchain::StopPlace> place = callerLocals ? placeOf(reference - CallerLocals) : here();
        std::optional<toolchain::CValue> target;
        if (reference >= kStructured && reference - kStructured < static_cast<int>(structured_.size())) {
            for (auto& [child, value] : toolchain::ChildrenOf(structured_[static_cast<size_t>(reference - kStructured)],
                                                              program_, memory()))
                if (child == name)
                    target = value;
        } else if (const toolchain::CResult result = place ? evaluateC(name, *place) : toolchain::CResult{}; result.value) {
            target = result.value;
        }
        if (!target)
            return Reply::failure(name + " is not a variable here");
        m51dbg::MachineMemory memory = this->memory();
        if (const std::string error = toolchain::Assign(*target, text, program_, memory); !error.empty())
            return Reply::failure(error);
        return Reply::success({{"value", toolchain::FormatValue(*target, program_, memory, toolchain::ValueStyle::Rich)}});
    }
    const auto value = m51dbg::ParseWatchValue(text);
    if (!value)
        return Reply::failure("\"" + text + "\" is not a number (2CH, 0x2C, 44, 'A')");
    std::string expression = name;
    if (reference == Sfrs)
        for (const sim::SfrInfo& sfr : sim::sfrsOf(&machine_->chip()))
            if (name == sfr.name)
                expression = sfr.name;
    const m51dbg::WatchParse watch = m51dbg::ParseWatch(expression, names_);
    if (!watch.target || !watch.target->writable())
        return Reply::failure(watch.error.empty() ? name + " cannot be changed" : watch.error);
    if (watch.target->kind == m51dbg::WatchTarget::Kind::Pc) {
        history_->setPc(static_cast<uint16_t>(*value));
    } else {
        const m51dbg::ByteReader read = [this](m51dbg::WatchSpace space, unsigned a) { return readByte(space, a); };
        const m51dbg::ByteWriter write = [this](m51dbg::WatchSpace space, unsigned a, uint8_t v) {
            writeByte(space, a, v);
        };
        if (!m51dbg::WriteWatch(*watch.target, *value, read, write))
            return Reply::failure(name + " cannot hold " + text);
    }
    std::string error;
    return Reply::success({{"value", valueOf(expression, error, here()).value_or(error)}});
}

Reply CoreDebuggee::evaluate(const Json& arguments)
{
    std::string expression = arguments.value("expression", std::string());
    while (!expression.empty() && expression.back() == ' ')
        expression.pop_back();
    while (!expression.empty() && expression.front() == ' ')
        expression.erase(0, 1);
    // The debug console is the serial port's keyboard: "send TEXT" (\r, \n, \xHH escapes).
    if (arguments.value("context", std::string()) == "repl" && expression.rfind("send ", 0) == 0) {
        std::string bytes;
        for (size_t i = 5; i < expression.size(); ++i) {
            if (expression[i] != '\\' || i + 1 >= expression.size()) {
                bytes += expression[i];
                continue;
            }
            const char c = expression[++i];
            if (c == 'r' || c == 'n' || c == 't')
                bytes += c == 'r' ? '\r' : c == 'n' ? '\n' : '\t';
            else if (c == 'x' && i + 2 < expression.size() && std::isxdigit(static_cast<unsigned char>(expression[i + 1]))
                     && std::isxdigit(static_cast<unsigned char>(expression[i + 2])))
                bytes += static_cast<char>(std::stoi(expression.substr(i + 1, 2), nullptr, 16)), i += 2;
            else
                bytes += c;
        }
        history_->sendSerial(bytes);
        return Reply::success({{"result", std::to_string(bytes.size()) + " byte(s) sent"}, {"variablesReference", 0}});
    }
    // In the frame the client names (a hover or a watch while a caller is selected).
    const std::optional<toolchain::StopPlace> place = placeOf(arguments.value("frameId", 1));
    if (!place)
        return Reply::failure("no stack frame " + std::to_string(arguments.value("frameId", 1)));
    if (isC()) {
        if (const toolchain::CResult result = evaluateC(expression, *place); result.value) {
            const Json variable = cVariable(expression, *result.value);
            return Reply::success({{"result", variable["value"]}, {"type", variable["type"]},
                                   {"variablesReference", variable["variablesReference"]}});
        }
    }
    std::string error;
    const auto value = valueOf(expression, error, *place);
    if (!value)
        return Reply::failure(error);
    return Reply::success({{"result", *value}, {"variablesReference", 0}});
}

Reply CoreDebuggee::readMemory(const Json& arguments)
{
    const auto place = ParseReference(arguments.value("memoryReference", std::string()), arguments.value("offset", 0L));
    if (!place)
        return Reply::failure("not a memory reference: \"" + arguments.value("memoryReference", std::string()) + "\"");
    const long count = std::clamp(arguments.value("count", 0L), 0L, 0x10000L);
    std::vector<uint8_t> bytes;
    long address = place->address;
    for (; address < place->address + count && address < static_cast<long>(place->size); ++address)
        if (address >= 0)
            bytes.push_back(machine_->read(place->space, static_cast<unsigned>(address)));
    const long unreadable = count - static_cast<long>(bytes.size());
    Json body{{"address", "0x" + Hex(static_cast<unsigned>(std::max(place->address, 0L)), 4)}, {"data", EncodeBase64(bytes)}};
    if (unreadable > 0)
        body["unreadableBytes"] = unreadable;
    return Reply::success(body);
}

Reply CoreDebuggee::writeMemory(const Json& arguments)
{
    if (running())
        return Reply::failure("the program is running: pause it first");
    const auto place = ParseReference(arguments.value("memoryReference", std::string()), arguments.value("offset", 0L));
    const auto bytes = DecodeBase64(arguments.value("data", std::string()));
    if (!place || !bytes)
        return Reply::failure(!place ? "not a memory reference" : "the data is not base64");
    if (place->address < 0 || place->address + static_cast<long>(bytes->size()) > static_cast<long>(place->size))
        return Reply::failure("the bytes do not fit in the memory");
    for (size_t i = 0; i < bytes->size(); ++i) {
        const unsigned address = static_cast<unsigned>(place->address) + static_cast<unsigned>(i);
        history_->write(place->space, address, (*bytes)[i]);
        if (place->space == sim::Space::Code)
            stepper_->codeChanged(static_cast<uint16_t>(address));
    }
    emit("memory", {{"memoryReference", arguments.value("memoryReference", std::string())},
                    {"offset", arguments.value("offset", 0L)}, {"count", bytes->size()}});
    return Reply::success({{"bytesWritten", bytes->size()}});
}

Reply CoreDebuggee::disassemble(const Json& arguments)
{
    const auto place = ParseReference(arguments.value("memoryReference", std::string()), arguments.value("offset", 0L));
    if (!place || place->space != sim::Space::Code)
        return Reply::failure("disassemble needs a code address");
    const long count = std::clamp(arguments.value("instructionCount", 0L), 0L, 4096L);
    long shift = arguments.value("instructionOffset", 0L);
    auto lengthAt = [this](long a) { return sim::instructionLength(machine_->read(sim::Space::Code, static_cast<unsigned>(a))); };
    // Instructions before the address: decoded from far enough back that the
    // decoding has fallen into step with the code.
    long address = std::clamp(place->address, 0L, 0xFFFFL);
    if (shift < 0) {
        std::vector<long> starts;
        for (long a = std::max(0L, address + 3 * shift - 16); a < address; a += lengthAt(a))
            starts.push_back(a);
        while (shift < 0 && !starts.empty()) {
            address = starts.back();
            starts.pop_back();
            ++shift;
        }
        address += shift;  // before address 0: a byte each (shown as not readable)
    }
    for (; shift > 0 && address <= 0xFFFF; --shift)
        address += lengthAt(address);
    std::map<uint16_t, std::string> labels;
    for (const auto& [name, at] : program_.codeLabels())
        labels.emplace(at, name);
    Json list = Json::array();
    int lastFile = -2;
    for (long i = 0; i < count; ++i) {
        if (address < 0 || address > 0xFFFF) {
            list.push_back({{"address", "0x" + Hex(static_cast<unsigned>(address & 0xFFFFF), 4)}, {"instruction", "??"},
                            {"presentationHint", "invalid"}});
            ++address;
            continue;
        }
        uint8_t bytes[3];
        for (unsigned k = 0; k < 3; ++k)
            bytes[k] = machine_->read(sim::Space::Code, static_cast<unsigned>(address + k) & 0xFFFF);
        const sim::Disassembled d = sim::disassemble(bytes, static_cast<uint16_t>(address), &machine_->chip());
        std::string raw;
        for (unsigned k = 0; k < d.length; ++k)
            raw += (k ? " " : "") + Hex(bytes[k], 2);
        Json entry{{"address", "0x" + Hex(static_cast<unsigned>(address), 4)}, {"instructionBytes", raw},
                   {"instruction", d.text}};
        if (const auto label = labels.find(static_cast<uint16_t>(address)); label != labels.end())
            entry["symbol"] = label->second;
        if (const auto lines = program_.linesAt(static_cast<uint16_t>(address)); !lines.empty()) {
            if (lines.front().file != lastFile)
                entry["location"] = sourceOf(lines.front().file);
            lastFile = lines.front().file;
            entry["line"] = lines.front().line + 1;
        }
        list.push_back(entry);
        address += d.length;
    }
    return Reply::success({{"instructions", list}});
}

} // namespace m51dap
