#include "languageserver/m51lsp/LspRun.h"

#include "languageserver/m51lsp/ClangdSetup.h"
#include "languageserver/m51lsp/SourceFeatures.h"

namespace m51lsp {

int Run(const std::vector<std::string>& args, const ReadSome& read, std::ostream& out, std::FILE* err)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--clangd" && i + 1 < args.size()) {
            const ClangdFiles files = WriteClangdFiles(args[i + 1]);
            for (const std::string& kept : files.kept)
                std::fprintf(err, "m51lsp: %s is not m51lsp's: left as it is\n", kept.c_str());
            if (!files.error.empty())
                std::fprintf(err, "m51lsp: %s\n", files.error.c_str());
            return files.error.empty() ? 0 : 2;
        }
        if (a == "--version") {
            out << "m51lsp " << M51LSP_VERSION << "\n" << std::flush;
            return 0;
        }
        if (a == "--stdio")
            continue;  // what editors pass; standard input and output are the only channel
        std::fprintf(err, "%s", a == "--help" || a == "-h"
                                    ? "Usage: m51lsp [--stdio] | m51lsp --clangd FOLDER\nThe language server for M51 and 8051 "
                                      "assembly: an editor starts it and talks to it over standard input and output.\n"
                                      "--clangd FOLDER writes compile_commands.json, .clangd and a header of SDCC's "
                                      "keywords for clangd\nin the C project's folder.\n"
                                    : ("m51lsp: unknown option " + a + "\nUsage: m51lsp [--stdio]\n").c_str());
        return a == "--help" || a == "-h" ? 0 : 2;
    }
    SourceFeatures features;
    return languageserver::Serve(features, read, out, "m51lsp", M51LSP_VERSION);
}

} // namespace m51lsp
