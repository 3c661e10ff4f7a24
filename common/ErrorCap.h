#pragma once
// Bounds a flood of errors: of one kind of error in one file only the first
// 100 are shown, and one line per kind counts the rest, so that a garbage
// input gives a screenful, not hundreds of megabytes. The kind of a message
// is its wording without the names, numbers and quoted text it carries
// ("undefined symbol FOO" and "undefined symbol BAR" are one kind).

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace m51 {

class ErrorCap {
public:
    explicit ErrorCap(std::size_t perKind = 100) : m_perKind(perKind) {}
    // True while the message is to be shown; counts it either way.
    bool admit(const std::string& file, const std::string& message);
    // "FILE: N more errors like this not shown, from: MESSAGE" (the first not
    // shown) for every kind over the cap.
    std::vector<std::string> summary() const;

    static std::string kindOf(const std::string& message);

private:
    struct Count {
        std::size_t seen = 0;
        std::string firstHidden;
    };
    std::size_t m_perKind;
    std::map<std::pair<std::string, std::string>, Count> m_counts;
};

} // namespace m51
