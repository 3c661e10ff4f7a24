#pragma once
// File name parts as m51sim and its test runner take them: "/" and "\\" both
// separate folders, so Windows paths read the same.

#include <string>

namespace m51sim {

inline std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

// ".m51", ".a51", ... in lower case; empty without one.
inline std::string Extension(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return Lower(path.substr(dot));
}

} // namespace m51sim
