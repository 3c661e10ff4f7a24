#include "ErrorReasons.h"

#include <array>
#include <utility>

namespace m51 {
namespace {

constexpr std::string_view kUnknown = "unknown statement, no code generated";

struct Reason {
    std::string_view entry;
    bool prefix;  // the entry begins with `entry` (a name follows)
    std::string_view reason;
};

// Every entry text the compiler makes besides an untranslated statement.
constexpr std::array<Reason, 8> kReasons{{
    {"Duplicate procedure ", true, "this procedure name is already defined above"},
    {"... and ", true, "a name defined more than once is called only so many times"},
    {"binary value", false, "a variable number cannot be written in binary"},
    {"variable number above 207", false, "variables run from 0 to 207"},
    {"negative variable number", false, "variables run from 0 to 207"},
    {"WHILE loop without ENDWHILE", false,
     "no ENDWHILE closes this loop (WHILE loops do not nest), so its end label is missing"},
    {"ENDWHILE without an open WHILE loop", false, "this ENDWHILE repeats the end label of a loop already closed"},
    {"INLINE inside an inline block", false, "an inline block cannot hold another INLINE; the inner part is left out"},
}};

const Reason* Find(std::string_view text)
{
    for (const Reason& r : kReasons)
        if (r.prefix ? text.substr(0, r.entry.size()) == r.entry : text == r.entry)
            return &r;
    return nullptr;
}

} // namespace

std::string_view ErrorReason(std::string_view text)
{
    const Reason* r = Find(text);
    return r ? r->reason : kUnknown;
}

bool IsUnknownStatement(std::string_view text)
{
    return Find(text) == nullptr;
}

} // namespace m51
