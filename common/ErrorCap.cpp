#include "common/ErrorCap.h"

namespace m51 {

std::string ErrorCap::kindOf(const std::string& message)
{
    std::string kind;
    char quote = 0;
    for (const char c : message) {
        if (quote) {
            quote = c == quote ? 0 : quote;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
            continue;
        }
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))
            continue;
        kind += c;
    }
    return kind;
}

bool ErrorCap::admit(const std::string& file, const std::string& message)
{
    Count& count = m_counts[{file, kindOf(message)}];
    if (++count.seen == m_perKind + 1)
        count.firstHidden = message;
    return count.seen <= m_perKind;
}

std::vector<std::string> ErrorCap::summary() const
{
    std::vector<std::string> lines;
    for (const auto& [key, count] : m_counts) {
        if (count.seen <= m_perKind)
            continue;
        const std::size_t more = count.seen - m_perKind;
        lines.push_back((key.first.empty() ? std::string() : key.first + ": ") + std::to_string(more) + " more error" +
                        (more == 1 ? "" : "s") + " like this not shown, from: " + count.firstHidden);
    }
    return lines;
}

} // namespace m51
