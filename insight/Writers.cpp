#include "insight/Writers.h"

#include <cctype>
#include <cstdio>

namespace insight {

namespace {

// lcov takes names and paths up to the line end; a name must not hold a comma.
std::string Clean(std::string text, bool commas)
{
    for (char& c : text)
        if (c == '\n' || c == '\r' || (commas && c == ','))
            c = '_';
    return text;
}

// lcov's test names hold letters, digits and underscores only.
std::string TestName(const std::string& name)
{
    std::string out;
    for (char c : name)
        out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return out;
}

// `file`: the procedures on a line of this record: -2 the assembly's, -1 the
// M51 source's, else those of that C file.
void Record(std::string& out, const Report& report, const std::vector<LineStats>& lines, const std::string& path,
            int file, const std::string& testName)
{
    out += "TN:" + TestName(testName) + "\n";
    out += "SF:" + Clean(path, false) + "\n";
    int functions = 0, functionsHit = 0;
    for (const ProcedureStats& procedure : report.procedures) {
        const int line = file == -2 ? procedure.asmLine : procedure.file == file ? procedure.sourceLine : -1;
        if (line < 0)
            continue;
        const std::string name = Clean(procedure.info.name, true);
        out += "FN:" + std::to_string(line + 1) + "," + name + "\n";
        out += "FNDA:" + std::to_string(procedure.entries) + "," + name + "\n";
        ++functions;
        functionsHit += procedure.entries > 0;
    }
    out += "FNF:" + std::to_string(functions) + "\nFNH:" + std::to_string(functionsHit) + "\n";
    int branches = 0, branchesHit = 0, linesHit = 0;
    for (const LineStats& line : lines) {
        int block = 0;
        for (const Branch& branch : line.branches) {
            const std::string head = "BRDA:" + std::to_string(line.line + 1) + "," + std::to_string(block++) + ",";
            const bool ran = branch.taken + branch.fallThrough > 0;
            out += head + "0," + (ran ? std::to_string(branch.taken) : "-") + "\n";
            out += head + "1," + (ran ? std::to_string(branch.fallThrough) : "-") + "\n";
            branches += 2;
            branchesHit += (branch.taken > 0) + (branch.fallThrough > 0);
        }
    }
    out += "BRF:" + std::to_string(branches) + "\nBRH:" + std::to_string(branchesHit) + "\n";
    for (const LineStats& line : lines) {
        out += "DA:" + std::to_string(line.line + 1) + "," + std::to_string(line.hits) + "\n";
        linesHit += line.executed();
    }
    out += "LF:" + std::to_string(lines.size()) + "\nLH:" + std::to_string(linesHit) + "\n";
    out += "end_of_record\n";
}

// A CSV field: quoted when it holds a comma, a quote or a line end.
std::string Field(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

std::string Number(double value, const char* format)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

} // namespace

std::string LcovTrace(const Report& report, const std::string& testName, const std::string& sourcePath,
                      const std::string& asmPath)
{
    std::string out;
    if (!sourcePath.empty())
        Record(out, report, report.sourceLines, sourcePath, -1, testName);
    if (!asmPath.empty())
        Record(out, report, report.asmLines, asmPath, -2, testName);
    for (size_t file = 0; file < report.files.size() && file < report.fileLines.size(); ++file)
        Record(out, report, report.fileLines[file], report.files[file], static_cast<int>(file), testName);
    return out;
}

std::string ProfileCsv(const Report& report, const std::string& sourceName, const std::string& asmName,
                       const std::string& testName)
{
    const std::string test = testName.empty() ? std::string() : Field(testName) + ",";
    std::string out = (testName.empty() ? "" : "test,") + std::string("kind,file,line,name,count,cycles,inclusive_cycles,seconds,share\n");
    auto row = [&](const char* kind, const std::string& file, int line, const std::string& name, uint64_t count,
                   uint64_t cycles, uint64_t inclusive) {
        const double share = report.totalCycles ? 100.0 * inclusive / report.totalCycles : 0;
        out += test + kind + "," + Field(file) + "," + (line >= 0 ? std::to_string(line + 1) : "") + ","
            + Field(name) + "," + std::to_string(count) + "," + std::to_string(cycles) + "," + std::to_string(inclusive)
            + "," + Number(Seconds(inclusive, report.crystalHz), "%.9f") + "," + Number(share, "%.3f") + "\n";
    };
    for (const LineStats& line : report.sourceLines)
        row("line", sourceName, line.line, "", line.hits, line.cycles, line.cycles);
    for (const LineStats& line : report.asmLines)
        row("asm", asmName, line.line, "", line.hits, line.cycles, line.cycles);
    for (size_t file = 0; file < report.files.size() && file < report.fileLines.size(); ++file)
        for (const LineStats& line : report.fileLines[file])
            row("line", report.files[file], line.line, "", line.hits, line.cycles, line.cycles);
    for (const ProcedureStats& procedure : report.procedures) {
        const bool onSource = procedure.sourceLine >= 0;
        const bool inFile = procedure.file >= 0 && static_cast<size_t>(procedure.file) < report.files.size();
        row(procedure.info.vector >= 0 ? "interrupt" : "procedure",
            inFile ? report.files[procedure.file] : onSource ? sourceName : asmName,
            onSource ? procedure.sourceLine : procedure.asmLine, procedure.info.name, procedure.entries,
            procedure.ownCycles, procedure.inclusiveCycles);
    }
    if (report.idleCycles)
        row("idle", "", -1, "idle", 0, report.idleCycles, report.idleCycles);
    return out;
}

} // namespace insight
