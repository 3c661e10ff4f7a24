#include "insight/TestRun.h"

#include "common/FileRead.h"
#include "common/FileWrite.h"
#include "insight/Writers.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace insight {

namespace {

// XML text: markup characters as entities; control bytes and bytes outside
// ASCII (code page 1250 text is no UTF-8) as \xNN so the report stays valid.
std::string Xml(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\n': out += "&#10;"; break;
        case '\t': out += c; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

std::string Seconds3(double seconds)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", seconds);
    return buffer;
}

std::string Join(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

} // namespace

std::string JUnitXml(const std::vector<TestOutcome>& outcomes, const std::string& suiteName)
{
    size_t failures = 0, errors = 0;
    double seconds = 0;
    for (const TestOutcome& outcome : outcomes) {
        failures += !outcome.passed && !outcome.error;
        errors += outcome.error;
        seconds += outcome.seconds;
    }
    const std::string counts = " tests=\"" + std::to_string(outcomes.size()) + "\" failures=\"" + std::to_string(failures)
        + "\" errors=\"" + std::to_string(errors) + "\" time=\"" + Seconds3(seconds) + "\"";
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + counts + ">\n";
    xml += "  <testsuite name=\"" + Xml(suiteName) + "\"" + counts + ">\n";
    for (const TestOutcome& outcome : outcomes) {
        xml += "    <testcase name=\"" + Xml(outcome.name) + "\" classname=\"" + Xml(suiteName) + "\" file=\""
            + Xml(outcome.path) + "\" time=\"" + Seconds3(outcome.seconds) + "\">\n";
        if (!outcome.passed) {
            const char* tag = outcome.error ? "error" : "failure";
            const std::string first = outcome.failures.empty() ? std::string("failed") : outcome.failures.front();
            xml += std::string("      <") + tag + " message=\"" + Xml(first) + "\">" + Xml(Join(outcome.failures)) + "</"
                + tag + ">\n";
        }
        if (!outcome.serialOut.empty())
            xml += "      <system-out>" + Xml(outcome.serialOut) + "</system-out>\n";
        xml += "    </testcase>\n";
    }
    xml += "  </testsuite>\n</testsuites>\n";
    return xml;
}

int RunTestFolder(const std::string& path, const FolderOptions& options, const m51sim::FileReader& readFile,
                  std::FILE* out, std::FILE* err, const BoardFactory& boards)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<std::string> files;
    if (fs::is_directory(path, ec)) {
        for (fs::directory_iterator it(path, ec), endIt; !ec && it != endIt; it.increment(ec))
            if (it->path().extension() == ".m51test" && !it->is_directory())
                files.push_back(it->path().string());
        if (ec) {
            std::fprintf(err, "m51sim: cannot read the folder %s: %s\n", path.c_str(), ec.message().c_str());
            return 2;
        }
        std::sort(files.begin(), files.end());
    } else if (fs::exists(path, ec)) {
        files.push_back(path);
    } else {
        std::fprintf(err, "m51sim: %s: no such folder or test file\n", path.c_str());
        return 2;
    }
    if (files.empty()) {
        std::fprintf(err, "m51sim: no *.m51test files in %s\n", path.c_str());
        return 2;
    }
    // A report never goes over a test it reports on.
    if (const std::string clash = m51::outputOverInput({options.junitFile, options.coverageFile, options.profileFile}, files);
        !clash.empty()) {
        std::fprintf(err, "m51sim: %s\n", clash.c_str());
        return 2;
    }
    const bool coverage = !options.coverageFile.empty() || !options.profileFile.empty();
    std::vector<TestOutcome> outcomes;
    size_t passed = 0;
    std::string trace, profile;
    for (const std::string& file : files) {
        std::string why;
        const auto text = readFile(file, why);
        TestOutcome outcome;
        if (!text) {
            outcome.name = fs::path(file).stem().string();
            outcome.path = file;
            outcome.error = true;
            outcome.failures.push_back("cannot read " + file + ": " + why);
        } else {
            outcome = RunTest(ParseTestFile(*text, file, readFile, bool(boards), m51sim::OpenFileSource), readFile,
                              coverage, boards);
        }
        if (outcome.passed) {
            ++passed;
            std::fprintf(out, "PASS %s (%llu cycles)\n", outcome.name.c_str(), static_cast<unsigned long long>(outcome.cycles));
        } else {
            std::fprintf(out, "%s %s: %s\n", outcome.error ? "ERROR" : "FAIL", outcome.name.c_str(),
                         outcome.failures.empty() ? "failed" : outcome.failures.front().c_str());
            for (size_t i = 1; i < outcome.failures.size(); ++i)
                std::fprintf(err, "%s\n", outcome.failures[i].c_str());
        }
        if (outcome.report) {
            trace += LcovTrace(*outcome.report, outcome.name, outcome.sourcePath, outcome.asmPath);
            std::string csv = ProfileCsv(*outcome.report, outcome.sourcePath, outcome.asmPath, outcome.name);
            profile += profile.empty() ? csv : csv.substr(csv.find('\n') + 1);
        }
        outcomes.push_back(std::move(outcome));
    }
    std::fprintf(out, "%zu passed, %zu failed\n", passed, outcomes.size() - passed);
    std::fflush(out);
    int status = passed == outcomes.size() ? 0 : 1;
    auto write = [&](const std::string& file, const std::string& bytes) {
        if (file.empty())
            return;
        if (const std::string error = m51::writeFileAtomically(file, bytes); !error.empty()) {
            std::fprintf(err, "m51sim: cannot write %s: %s\n", file.c_str(), error.c_str());
            status = 2;
        }
    };
    // The suite is the folder's own name, also for "." or a path ending in a slash.
    std::string suite = fs::weakly_canonical(fs::absolute(path, ec), ec).filename().string();
    if (suite.empty())
        suite = path;
    write(options.junitFile, JUnitXml(outcomes, suite));
    write(options.coverageFile, trace);
    write(options.profileFile, profile);
    return status;
}

} // namespace insight
