#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace m51test {

namespace fs = std::filesystem;

TextResult Compile(const Lines& source)
{
    TextResult r;
    r.full = m51::CompileSource(source);
    r.Output = r.full.Output;
    r.ProcBox = m51::EntryTexts(r.full.ProcBox);
    r.Definebox = m51::EntryTexts(r.full.Definebox);
    r.InlineBox = m51::EntryTexts(r.full.InlineBox);
    r.ErBox = m51::EntryTexts(r.full.ErBox);
    return r;
}

Lines Output(const Lines& source)
{
    return Compile(source).Output;
}

void ExpectTranslations(const std::vector<TranslationCase>& cases)
{
    for (const TranslationCase& c : cases) {
        std::string shown;
        for (const std::string& line : c.source)
            shown += (shown.empty() ? "" : " | ") + line;
        EXPECT_EQ(Output(c.source), c.output) << "source: " << shown;
    }
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

ScratchDir::ScratchDir()
{
    std::random_device random;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string("m51c.") + (info ? info->name() : "test") + "-" + std::to_string(random());
    m_path = fs::temp_directory_path() / name;
    fs::create_directories(m_path);
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

std::vector<std::string> ScratchDir::Files() const
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

std::string Quote(const std::string& arg)
{
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace

RunResult RunM51c(const std::vector<std::string>& args, const fs::path& dir)
{
    // The captures live outside `dir`, so that they never show up among its files.
    const fs::path capture = fs::temp_directory_path() / ("m51c-capture-" + std::to_string(std::random_device{}()));
    std::string command = "cd " + Quote(dir.string()) + " && " + Quote(M51C_PATH);
    for (const std::string& a : args)
        command += " " + Quote(a);
    command += " >" + Quote(capture.string() + ".out") + " 2>" + Quote(capture.string() + ".err") + " </dev/null";
    const int status = std::system(command.c_str());
    RunResult r;
#ifndef _WIN32
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#else
    r.exitCode = status;
#endif
    r.out = ReadFile(capture.string() + ".out");
    r.err = ReadFile(capture.string() + ".err");
    std::error_code ec;
    fs::remove(capture.string() + ".out", ec);
    fs::remove(capture.string() + ".err", ec);
    return r;
}

} // namespace m51test
