#pragma once
// Why the compiler made an error entry, in words: Zelvar shows the reason
// beside the entry of its error list, and m51c prints it in front of a
// statement that made no code, so both tell the same.

#include <string_view>

namespace m51 {

// The reason for an entry of ErBox; `text` is the entry without its line
// number ("binary value", "Duplicate procedure X", "FOO 3", ...).
std::string_view ErrorReason(std::string_view text);

// True when the entry is a statement that made no code: its text is the
// statement itself, and the reason is what says what went wrong.
bool IsUnknownStatement(std::string_view text);

} // namespace m51
