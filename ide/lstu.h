#pragma once
// The listing viewer `LST`, caption "LST": the assembler's listing after a
// build, read in the Western character set (windows-1252) the assemblers
// write. It keeps the last listing until the next build replaces it: the
// build script's file, or the listing of the in-memory assembly every build
// of an M51 source makes.

#include <QWidget>
#include <utility>

class CodeEditor;
class Session;
class TPlacement;

class TLST : public QWidget {
    Q_OBJECT
public:
    // With a session, the window shows each listing its builds leave.
    explicit TLST(Session* session = nullptr, QWidget* parent = nullptr);

    TPlacement* PL; // window placement, section "LST"

    CodeEditor* M;

    // Replaces the text with the file's. Empty when done, else the file error,
    // and then the text stays as it was.
    [[nodiscard]] QString loadFile(const QString& path);

    // Window placement, section "LST".
    void restorePlacement();
    void savePlacement();
    void FormDestroy();

private:
    std::pair<int, bool> m_shownBuild{0, false};  // the build whose listing shows: compiles, assembled
};
