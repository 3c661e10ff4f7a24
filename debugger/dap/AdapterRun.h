#pragma once
// m51sim --dap: the debug adapter serves one client over standard input and
// output, or (--dap-port N) the first client that connects to port N of
// localhost, and ends when the client disconnects or goes away.

#include <cstdio>
#include <string>
#include <vector>

namespace m51dap {

// True when m51sim's command line asks for the debug adapter.
bool WantsAdapter(const std::vector<std::string>& args);

// `args` as m51sim got them; messages go to `err` (standard output carries
// the protocol). The exit status: 0 served, 2 a usage or network problem.
int RunAdapter(const std::vector<std::string>& args, std::FILE* err);

} // namespace m51dap
