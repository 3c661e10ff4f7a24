#pragma once
// What m51lsp answers for M51 sources and 8051 assembly: the build's
// diagnostics (the compiler's and the assembler's, include files followed),
// definitions and references of the names a source declares, hovers (a
// statement's help from the M51 language table, a name's value, an SFR's or
// bit's address and its register file's description), completion, the document's symbols and semantic tokens for
// colouring. The language is the document's ("m51", else assembly), or its
// file name's (.M51).

#include "languageserver/m51lsp/RegisterNotes.h"
#include "languageserver/Server.h"

#include <map>

#include <string>
#include <vector>

namespace m51lsp {

using languageserver::Json;

// A name a source declares and where.
struct Declared {
    std::string name;
    std::string uri;  // the file it is declared in
    int line = 0, column = 0;
    enum class Kind { Procedure, Constant, Bit, Label, Macro } kind = Kind::Constant;
    std::string value;  // a DEFINE's or EQU's value as written
};

class SourceFeatures : public languageserver::Features {
public:
    // `registerFolder`: where the register files that come with m51as are.
    explicit SourceFeatures(std::string registerFolder = RegisterFolder());
    Json capabilities() const override;
    std::vector<Json> diagnose(const languageserver::TextDocument& document,
                               const languageserver::DocumentStore& documents) override;
    std::optional<Json> answer(const std::string& method, const Json& params,
                               const languageserver::DocumentStore& documents) override;

    // The names of a document and of the files it includes (as code page 1250 bytes).
    static std::vector<Declared> NamesOf(const languageserver::TextDocument& document);

private:
    // The names of `source`, the document's text in code page 1250.
    static std::vector<Declared> NamesIn(const std::string& source, const languageserver::TextDocument& document);
    // The register notes for a source with these include files, read once per register file.
    const RegisterNotes& notesFor(const std::vector<std::pair<int, std::string>>& includes);

    std::string registerFolder_;
    std::map<std::string, RegisterNotes> notes_;
};

// The path of a file: URI, and back.
std::string PathOfUri(const std::string& uri);
std::string UriOfPath(const std::string& path);

} // namespace m51lsp
