#include "insight/Insight.h"

#include <algorithm>
#include <optional>
#include <cctype>
#include <map>
#include <set>

namespace insight {

namespace {

// The compiler's own labels: PRS0001, LP0001, Whi0001, EnW0001, EXP0001.
bool CompilerLabel(const std::string& name)
{
    static const char* const prefixes[] = {"PRS", "LP", "WHI", "ENW", "EXP"};
    std::string upper;
    for (char c : name)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char* prefix : prefixes) {
        const std::string p = prefix;
        if (upper.size() > p.size() && upper.compare(0, p.size(), p) == 0
            && std::all_of(upper.begin() + p.size(), upper.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return true;
    }
    return false;
}

const char* const VectorNames[VectorCount] = {"external interrupt 0", "timer 0 interrupt", "external interrupt 1",
                                              "timer 1 interrupt", "serial interrupt", "timer 2 interrupt"};

std::string HexName(uint16_t address)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string name = "code_";
    for (int shift = 12; shift >= 0; shift -= 4)
        name += digits[(address >> shift) & 0xF];
    return name;
}

} // namespace

// Calls `visit(address, shape)` for each instruction of a C line's code, up
// to the end of the function that holds it.
template <typename Read, typename Visit>
void WalkLine(const ProgramInfo& program, const toolchain::LineRange& range, Read read, Visit visit)
{
    uint32_t end = uint32_t{range.address} + range.size;
    for (const toolchain::Function& function : program.functions())
        if (range.address >= function.start && range.address < function.end)
            end = std::min(end, function.end);
    for (uint32_t a = range.address; a < end && a < 65536;) {
        const Shape shape = ShapeOf(read(static_cast<uint16_t>(a)));
        visit(static_cast<uint16_t>(a), shape);
        a += shape.length;
    }
}

ProgramInfo InfoOf(const toolchain::Program& program)
{
    ProgramInfo info;
    info.model = &program;
    for (const auto& [name, address] : program.codeLabels())
        info.labels.push_back({name, address});
    info.fromM51 = program.language == toolchain::Language::M51;
    return info;
}

namespace {

bool IsC(const toolchain::Program* program)
{
    return program && program->language == toolchain::Language::C;
}

// A program built from several assembly modules.
bool IsModules(const toolchain::Program* program)
{
    return program && program->language == toolchain::Language::Assembly && program->files.size() > 1;
}

} // namespace

uint8_t ProgramInfo::codeAt(uint16_t address) const
{
    return model && address < model->code.size() ? model->code[address] : 0xFF;
}

const toolchain::SourceMap& ProgramInfo::map() const
{
    static const toolchain::SourceMap none;
    return model ? model->map : none;
}

bool ProgramInfo::fromC() const
{
    return IsC(model);
}

const std::vector<std::string>& ProgramInfo::files() const
{
    static const std::vector<std::string> none;
    return IsC(model) || IsModules(model) ? model->files : none;
}

const std::vector<toolchain::LineRange>& ProgramInfo::lines() const
{
    static const std::vector<toolchain::LineRange> none;
    return IsC(model) || IsModules(model) ? model->lines : none;
}

const std::vector<toolchain::Function>& ProgramInfo::functions() const
{
    static const std::vector<toolchain::Function> none;
    return IsC(model) ? model->functions : none;
}

std::vector<ProcedureInfo> FindProcedures(const ProgramInfo& program)
{
    auto read = [&program](uint16_t a) { return program.codeAt(a); };
    // The instructions of a program of several assembly modules: the map
    // holds those of one module, the lines those of all.
    std::vector<bool> moduleCode;
    if (!program.fromC() && !program.lines().empty()) {
        moduleCode.assign(65536, false);
        for (const toolchain::LineRange& range : program.lines())
            WalkLine(program, range, read, [&moduleCode](uint16_t a, const Shape&) { moduleCode[a] = true; });
    }
    auto isInstruction = [&](uint16_t a) {
        return program.map().instructionAt(a) != nullptr || (!moduleCode.empty() && moduleCode[a]);
    };
    // Code exists where the map has an instruction, or (a HEX program) where the image was written.
    auto hasCode = [&](uint16_t a) { return program.map().empty() ? read(a) != 0xFF : isInstruction(a); };

    std::map<uint16_t, ProcedureInfo> found;
    found[0] = ProcedureInfo{"reset", 0, -1, false};
    std::set<uint16_t> handlers;
    auto add = [&found](uint16_t start) { found.try_emplace(start, ProcedureInfo{{}, start, -1, false}); };
    if (const auto target = TargetOf(0, read); target && hasCode(0))
        add(*target);
    // A C program's vectors in use are those of its interrupt functions:
    // elsewhere its start-up code lies over the vector table.
    auto handlerOf = [&program](int v) {
        return std::any_of(program.functions().begin(), program.functions().end(),
                           [v](const toolchain::Function& f) { return f.interrupt == v; });
    };
    // Elsewhere code at a vector is no handler when the reset jumps to it or
    // the instruction before runs on into it: the program's own code packed
    // from the start (as a linker places modules).
    const std::optional<uint16_t> resetTarget = hasCode(0) ? TargetOf(0, read) : std::nullopt;
    auto runsInto = [&](uint16_t at) {
        for (uint16_t back = 1; back <= 3 && back <= at; ++back) {
            const uint16_t a = static_cast<uint16_t>(at - back);
            if (!isInstruction(a) || ShapeOf(read(a)).length != back)
                continue;
            const uint8_t op = read(a);
            const bool ends = op == 0x02 || op == 0x80 || (op & 0x1F) == 0x01 || op == 0x73 || op == 0x22 || op == 0x32;
            return !ends;
        }
        return false;
    };
    for (int v = 0; v < VectorCount; ++v) {
        const uint16_t at = VectorAddress(v);
        if (!hasCode(at) || (program.fromC() && !program.lines().empty() && !handlerOf(v)))
            continue;
        if (!program.fromC() && !program.map().empty() && (resetTarget == at || runsInto(at)))
            continue;
        found[at] = ProcedureInfo{VectorNames[v], at, v, true};
        const uint8_t op = read(at);
        const bool jump = op == 0x02 || op == 0x80 || (op & 0x1F) == 0x01;
        if (const auto target = TargetOf(at, read); jump && target && *target >= at + 8) {
            add(*target);
            handlers.insert(*target);
        }
    }
    for (const toolchain::Instruction& instruction : program.map().instructions()) {
        if (ShapeOf(read(instruction.address)).flow == Flow::Call)
            if (const auto target = TargetOf(instruction.address, read))
                add(*target);
    }
    for (const toolchain::LineRange& range : program.lines())
        WalkLine(program, range, read, [&](uint16_t a, const Shape& shape) {
            if (shape.flow == Flow::Call)
                if (const auto target = TargetOf(a, read))
                    add(*target);
        });
    for (const toolchain::Function& function : program.functions()) {
        ProcedureInfo& info = found.try_emplace(function.start, ProcedureInfo{{}, function.start, -1, false}).first->second;
        if (info.name.empty())
            info.name = function.name;
    }
    if (program.fromM51)
        for (const CodeLabel& label : program.labels)
            if (!CompilerLabel(label.name))
                add(label.address);
    // Names: the program's label at the start, the compiler's (or a module's
    // segment name, ?PR?MAIN) when none other.
    for (int pass = 0; pass < 2; ++pass)
        for (const CodeLabel& label : program.labels) {
            const auto it = found.find(label.address);
            const bool ownLabel = !CompilerLabel(label.name) && label.name.rfind('?', 0) != 0;
            if (it != found.end() && it->second.name.empty() && (pass == 1 || ownLabel))
                it->second.name = label.name;
        }
    std::vector<ProcedureInfo> procedures;
    for (auto& [start, info] : found) {
        if (info.name.empty())
            info.name = HexName(start);
        info.handler = info.handler || handlers.count(start);
        procedures.push_back(info);
    }
    return procedures;
}

std::vector<uint16_t> ProcedureIndex(const std::vector<ProcedureInfo>& procedures)
{
    std::vector<uint16_t> index(65536, 0);
    for (size_t i = 0; i < procedures.size(); ++i) {
        const unsigned from = procedures[i].start;
        const unsigned to = i + 1 < procedures.size() ? procedures[i + 1].start : 65536;
        std::fill(index.begin() + from, index.begin() + to, static_cast<uint16_t>(i));
    }
    return index;
}

BranchState StateOf(const Branch& branch)
{
    if (branch.taken && branch.fallThrough)
        return BranchState::Both;
    if (branch.taken)
        return BranchState::OnlyTaken;
    return branch.fallThrough ? BranchState::OnlyFallThrough : BranchState::Never;
}

namespace {

// Adds one instruction's figures to the line it belongs to.
void AddTo(std::map<int, LineStats>& lines, int line, uint64_t count, uint64_t cycles, const Branch* branch)
{
    LineStats& stats = lines[line];
    stats.line = line;
    stats.hits = std::max(stats.hits, count);
    stats.cycles += cycles;
    if (branch)
        stats.branches.push_back(*branch);
}

// One instruction's runs, cycles (with the interrupt entries made at it) and
// branch, added to a line.
struct InstructionFigures {
    const uint32_t* counts;
    const std::map<uint16_t, uint64_t>& entryCycles;
    const Recorder* recorder;

    void addTo(std::map<int, LineStats>& lines, int line, uint16_t a, const Shape& shape) const
    {
        const uint64_t count = counts[a];
        uint64_t cycles = count * shape.cycles;
        if (const auto it = entryCycles.find(a); it != entryCycles.end())
            cycles += it->second;
        std::optional<Branch> branch;
        if (shape.flow == Flow::CondJump && recorder) {
            const uint64_t taken = std::min<uint64_t>(recorder->taken()[a], count);
            branch = Branch{a, taken, count - taken};
        }
        AddTo(lines, line, count, cycles, branch ? &*branch : nullptr);
    }
};

std::vector<LineStats> Flatten(std::map<int, LineStats>& lines)
{
    std::vector<LineStats> out;
    out.reserve(lines.size());
    for (auto& [line, stats] : lines) {
        std::sort(stats.branches.begin(), stats.branches.end(),
                  [](const Branch& a, const Branch& b) { return a.address < b.address; });
        out.push_back(std::move(stats));
    }
    return out;
}

// The lines of every source file of a C program: each line's code walked
// instruction by instruction (up to the end of its function), so that
// branches never reached count too.
void AddFileLines(Report& report, const sim::Machine& machine, const ProgramInfo& program,
                  const InstructionFigures& figures)
{
    auto read = [&machine](uint16_t a) { return machine.read(sim::Space::Code, a); };
    std::vector<std::map<int, LineStats>> files(program.files().size());
    for (const toolchain::LineRange& range : program.lines()) {
        if (range.file < 0 || static_cast<size_t>(range.file) >= files.size())
            continue;
        std::map<int, LineStats>& lines = files[range.file];
        AddTo(lines, range.line, 0, 0, nullptr);  // a line with code, run or not
        WalkLine(program, range, read,
                 [&](uint16_t a, const Shape& shape) { figures.addTo(lines, range.line, a, shape); });
    }
    report.files = program.files();
    for (std::map<int, LineStats>& lines : files)
        report.fileLines.push_back(Flatten(lines));
}

} // namespace

Report BuildReport(const sim::Machine& machine, const ProgramInfo& program, const std::vector<ProcedureInfo>& procedures,
                   const Recorder* recorder)
{
    Report report;
    report.totalCycles = machine.cycles();
    report.instructions = machine.instructions();
    report.crystalHz = machine.board().crystalHz;
    report.branchesKnown = recorder != nullptr;
    const uint32_t* counts = machine.executionCounts();
    const std::vector<uint16_t> procedureOf = ProcedureIndex(procedures);
    std::vector<uint64_t> own(procedures.size(), 0);

    // Interrupt entries: the hardware call belongs to the vector's line and procedure.
    std::map<uint16_t, uint64_t> entryCycles;
    if (recorder) {
        report.idleCycles = recorder->idleCycles();
        for (int v = 0; v < VectorCount; ++v)
            if (recorder->entryCycles(v))
                entryCycles[VectorAddress(v)] = recorder->entryCycles(v);
    }
    const InstructionFigures figures{counts, entryCycles, recorder};
    std::map<int, LineStats> sourceLines, asmLines;
    for (const toolchain::Instruction& instruction : program.map().instructions()) {
        const uint16_t a = instruction.address;
        const Shape shape = ShapeOf(machine.read(sim::Space::Code, a));
        figures.addTo(asmLines, instruction.asmLine, a, shape);
        if (instruction.sourceLine >= 0)
            figures.addTo(sourceLines, instruction.sourceLine, a, shape);
    }
    report.sourceLines = Flatten(sourceLines);
    report.asmLines = Flatten(asmLines);
    if (!program.lines().empty())
        AddFileLines(report, machine, program, figures);

    // Own cycles by address: also for code the map does not cover (a HEX program).
    for (unsigned a = 0; a < 65536; ++a)
        if (counts[a])
            own[procedureOf[a]] += uint64_t{counts[a]} * ShapeOf(machine.read(sim::Space::Code, a)).cycles;
    for (const auto& [address, cycles] : entryCycles)
        own[procedureOf[address]] += cycles;

    std::vector<uint64_t> callee;
    std::array<uint64_t, VectorCount> handler{};
    if (recorder) {
        callee = recorder->calleeCycles(machine.cycles());
        handler = recorder->handlerCycles(machine.cycles());
    }
    for (size_t i = 0; i < procedures.size(); ++i) {
        ProcedureStats stats;
        stats.info = procedures[i];
        if (const toolchain::Instruction* first = program.map().instructionAt(procedures[i].start)) {
            stats.sourceLine = first->sourceLine;
            stats.asmLine = first->asmLine;
        }
        // A C function's line: the first of its file's lines at its entry (its head).
        for (const toolchain::Function& function : program.functions())
            if (function.start == procedures[i].start && function.file >= 0) {
                stats.file = function.file;
                stats.sourceLine = function.line;
                for (const toolchain::LineRange& range : program.lines())
                    if (range.address == function.start && range.file == function.file)
                        stats.sourceLine = std::min(stats.sourceLine, range.line);
            }
        // A procedure of assembly modules: the module line at its entry.
        if (!program.fromC() && stats.file < 0)
            for (const toolchain::LineRange& range : program.lines())
                if (range.address == procedures[i].start) {
                    stats.file = range.file;
                    stats.sourceLine = range.line;
                    break;
                }
        stats.ownCycles = own[i];
        stats.inclusiveCycles = own[i];
        stats.entries = counts[procedures[i].start];
        if (recorder) {
            stats.recorded = true;
            const int v = procedures[i].vector;
            if (v >= 0) {
                stats.entries = recorder->entries(v);
                stats.inclusiveCycles = handler[v];
            } else {
                stats.inclusiveCycles = own[i] + (i < callee.size() ? callee[i] : 0);
                // Entered by a jump (the main procedure, a handler): its first instruction's count.
                if (recorder->calls()[i])
                    stats.entries = recorder->calls()[i];
            }
        }
        report.procedures.push_back(std::move(stats));
    }
    return report;
}

} // namespace insight
