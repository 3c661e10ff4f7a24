#pragma once
// What the register files say of each register and bit: a line such as
// "TCON DATA 88H ; timer control: ..." gives TCON its description. The
// server reads the register file a source includes ($INCLUDE(89S52.MCU)),
// else the 8052's, from the folder of register files that come with m51as.

#include <map>
#include <string>
#include <string_view>

namespace m51lsp {

// Upper-case register and bit names to their descriptions.
using RegisterNotes = std::map<std::string, std::string>;

// The notes of every DATA or BIT line with a comment.
RegisterNotes ReadRegisterNotes(std::string_view text);

// The folder of the register files: beside the installed programs, else in
// the source tree the server was built from; empty when none is there.
std::string RegisterFolder();

} // namespace m51lsp
