#pragma once
// m51lsp as a function: the language server for M51 and 8051 assembly over
// the client's stream (standard input and output for the program). The
// program's main() only hands it the command line; tests call it directly.

#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace m51lsp {

// Reads what has arrived from the client; 0 when it went away.
using ReadSome = std::function<std::size_t(char* buffer, std::size_t size)>;

// `args` without the program name. The exit status: 0 after the client's
// shutdown and exit, 1 without them, 2 a usage problem.
int Run(const std::vector<std::string>& args, const ReadSome& read, std::ostream& out, std::FILE* err);

} // namespace m51lsp
