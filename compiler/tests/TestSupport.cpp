#include "compiler/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
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

#ifndef _WIN32
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
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFile(capture.string() + ".out");
    r.err = ReadFile(capture.string() + ".err");
    std::error_code ec;
    fs::remove(capture.string() + ".out", ec);
    fs::remove(capture.string() + ".err", ec);
    return r;
}
#else
namespace {

// One argument as the C runtime splits the command line again.
std::wstring Quote(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring q = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        q.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        q += c;
    }
    q.append(2 * backslashes, L'\\');
    return q + L"\"";
}

HANDLE OpenInherited(const fs::path& path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Standard error is a text stream: its lines end in CR LF on Windows.
std::string WithoutCarriageReturns(std::string text)
{
    std::erase(text, '\r');
    return text;
}

} // namespace

// Arguments are UTF-8; the program gets them as UTF-16, as from a console.
RunResult RunM51c(const std::vector<std::string>& args, const fs::path& dir)
{
    const fs::path capture = fs::temp_directory_path() / ("m51c-capture-" + std::to_string(std::random_device{}()));
    std::wstring command = Quote(fs::absolute(M51C_PATH).wstring());
    for (const std::string& a : args)
        command += L" " + Quote(fs::path(std::u8string(a.begin(), a.end())).wstring());

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = OpenInherited(L"NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = OpenInherited(capture.wstring() + L".out", GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = OpenInherited(capture.wstring() + L".err", GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    RunResult r;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        if (GetExitCodeProcess(process.hProcess, &code))
            r.exitCode = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        CloseHandle(h);
    r.out = ReadFile(capture.wstring() + L".out");
    r.err = WithoutCarriageReturns(ReadFile(capture.wstring() + L".err"));
    std::error_code ec;
    fs::remove(capture.wstring() + L".out", ec);
    fs::remove(capture.wstring() + L".err", ec);
    return r;
}
#endif

} // namespace m51test
