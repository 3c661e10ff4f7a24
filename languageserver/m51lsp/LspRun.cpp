#include "LspRun.h"

#include "SourceFeatures.h"

namespace m51lsp {

int Run(const std::vector<std::string>& args, const ReadSome& read, std::ostream& out, std::FILE* err)
{
    for (const std::string& a : args) {
        if (a == "--version") {
            out << "m51lsp " << M51LSP_VERSION << "\n" << std::flush;
            return 0;
        }
        if (a == "--stdio")
            continue;  // what editors pass; standard input and output are the only channel
        std::fprintf(err, "%s", a == "--help" || a == "-h"
                                    ? "Usage: m51lsp [--stdio]\nThe language server for M51 and 8051 assembly: an "
                                      "editor starts it and talks to it over standard input and output.\n"
                                    : ("m51lsp: unknown option " + a + "\nUsage: m51lsp [--stdio]\n").c_str());
        return a == "--help" || a == "-h" ? 0 : 2;
    }
    SourceFeatures features;
    return languageserver::Serve(features, read, out, "m51lsp", M51LSP_VERSION);
}

} // namespace m51lsp
