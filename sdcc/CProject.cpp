#include "sdcc/CProject.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

namespace sdcc {
namespace {

constexpr CProject::Model kModels[] = {CProject::Model::Small, CProject::Model::Medium, CProject::Model::Large,
                                       CProject::Model::Huge};

std::string_view trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string> words(std::string_view text)
{
    std::vector<std::string> out;
    std::istringstream in{std::string(text)};
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

std::optional<unsigned> size(std::string_view text)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > 0x10000)
        return std::nullopt;
    return value;
}

std::optional<bool> yesNo(std::string_view text)
{
    if (text == "yes" || text == "true" || text == "1")
        return true;
    if (text == "no" || text == "false" || text == "0")
        return false;
    return std::nullopt;
}

// One `key = value` line into the project; the reason when it does not fit.
std::optional<std::string> apply(CProject& project, std::string_view key, std::string_view value)
{
    if (key == "sources") {
        project.sources = words(value);
        return std::nullopt;
    }
    if (key == "chip") {
        project.chip = std::string(value);
        return std::nullopt;
    }
    if (key == "crystal") {
        double mhz = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), mhz);
        if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(mhz) || mhz <= 0 || mhz > 1000)
            return "crystal takes a frequency in MHz (for example 11.0592)";
        project.crystalMHz = mhz;
        return std::nullopt;
    }
    if (key == "model") {
        for (const CProject::Model model : kModels)
            if (value == ModelName(model)) {
                project.model = model;
                return std::nullopt;
            }
        return "model takes small, medium, large or huge";
    }
    if (key == "stack-auto") {
        const auto flag = yesNo(value);
        if (!flag)
            return "stack-auto takes yes or no";
        project.stackAuto = *flag;
        return std::nullopt;
    }
    if (key == "code-size" || key == "xram-size") {
        const auto bytes = size(value);
        if (!bytes)
            return std::string(key) + " takes a number of bytes up to 65536";
        (key == "code-size" ? project.codeSize : project.xramSize) = *bytes;
        return std::nullopt;
    }
    if (key == "options") {
        project.options = words(value);
        return std::nullopt;
    }
    if (key == "build") {
        project.buildFolder = std::string(value);
        return std::nullopt;
    }
    return "unknown setting '" + std::string(key.substr(0, 40)) + "'";
}

} // namespace

std::string_view ModelName(CProject::Model model)
{
    switch (model) {
    case CProject::Model::Medium: return "medium";
    case CProject::Model::Large: return "large";
    case CProject::Model::Huge: return "huge";
    default: return "small";
    }
}

ProjectReadResult ReadProject(std::string_view text, const std::filesystem::path& folder, const std::string& name)
{
    ProjectReadResult result;
    result.project.folder = folder;
    result.project.name = name;
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (const std::size_t comment = line.find_first_of(";#"); comment != std::string_view::npos)
            line = line.substr(0, comment);
        line = trimmed(line);
        if (line.empty())
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            result.errors.push_back({number, "expected 'key = value'"});
            continue;
        }
        if (auto error = apply(result.project, trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1))))
            result.errors.push_back({number, *error});
    }
    if (result.project.sources.empty())
        result.errors.push_back({0, "the project names no sources (sources = main.c ...)"});
    return result;
}

std::string WriteProject(const CProject& p)
{
    std::ostringstream out;
    out << "sources =";
    for (const std::string& source : p.sources)
        out << ' ' << source;
    out << "\nchip = " << p.chip << "\ncrystal = " << p.crystalMHz << "\nmodel = " << ModelName(p.model)
        << "\nstack-auto = " << (p.stackAuto ? "yes" : "no") << "\ncode-size = " << p.codeSize
        << "\nxram-size = " << p.xramSize << "\noptions =";
    for (const std::string& option : p.options)
        out << ' ' << option;
    out << "\nbuild = " << p.buildFolder << "\n";
    return out.str();
}

CProject DefaultProject(const std::filesystem::path& folder, const std::string& mainSource)
{
    CProject project;
    project.folder = folder;
    project.name = std::filesystem::path(mainSource).stem().string();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.is_regular_file(error) && entry.path().extension() == ".c")
            project.sources.push_back(entry.path().filename().string());
    std::sort(project.sources.begin(), project.sources.end());
    return project;
}

std::vector<std::string> SdccOptions(const CProject& project)
{
    std::vector<std::string> options{"-mmcs51", "--debug", "--model-" + std::string(ModelName(project.model))};
    if (project.stackAuto)
        options.push_back("--stack-auto");
    const auto add = [&options](const char* option, unsigned value) {
        options.push_back(option);
        options.push_back(std::to_string(value));
    };
    if (project.codeSize)
        add("--code-size", project.codeSize);
    if (project.xramSize)
        add("--xram-size", project.xramSize);
    if (project.chip == "8051" || project.chip == "8031")
        add("--iram-size", 128);
    options.insert(options.end(), project.options.begin(), project.options.end());
    return options;
}

} // namespace sdcc
