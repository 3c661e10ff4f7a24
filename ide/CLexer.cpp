#include "ide/CLexer.h"

#include "ide/SyntaxLexer.h"

#include <QFileInfo>

namespace {

const char* const CKeywords =
    "auto break case char const continue default do double else enum extern float for goto if inline int long "
    "register restrict return short signed sizeof static struct switch typedef union unsigned void volatile while "
    "_Bool _Alignas _Alignof _Noreturn _Static_assert _Thread_local bool true false";

// SDCC's own words (its manual's list of storage classes, function
// attributes and inline assembly), in the double-underscore form every
// standard mode accepts.
const char* const SdccKeywords =
    "__at __bit __code __critical __data __idata __interrupt __naked __pdata __reentrant __sbit __sfr __sfr16 "
    "__sfr32 __using __xdata __far __near __banked __nonbanked __shadowregs __wparam __trap __overlay "
    "__preserves_regs __smallc __asm __endasm __asm__ __nonreentrant __z88dk_fastcall __z88dk_callee "
    "__builtin_offsetof __typeof__ __sdcc_external_startup _sdcc_external_startup";

} // namespace

CLexer::CLexer(const QColor& paper, const QColor& text, const QFont& pixelFont, QObject* parent)
    : QsciLexerCPP(parent)
{
    const QFont font = syntax::pointSized(pixelFont);
    setDefaultPaper(paper);
    setDefaultColor(text);
    setDefaultFont(font);
    setPaper(paper);
    setColor(text);
    setFont(font);
    // Readable on the light grey-green paper of the assembly panes.
    const QColor keyword(0, 0, 160), sdcc(140, 0, 110), comment(0, 110, 0), literal(150, 40, 0),
        preprocessor(110, 70, 0);
    setColor(keyword, Keyword);
    setColor(sdcc, KeywordSet2);
    for (int style : {Comment, CommentLine, CommentDoc, CommentLineDoc})
        setColor(comment, style);
    for (int style : {Number, DoubleQuotedString, SingleQuotedString})
        setColor(literal, style);
    setColor(preprocessor, PreProcessor);
    QFont bold = font;
    bold.setBold(true);
    setFont(bold, Keyword);
    setFont(bold, KeywordSet2);
}

const char* CLexer::keywords(int set) const
{
    switch (set) {
    case 1: return CKeywords;
    case 2: return SdccKeywords;
    default: return nullptr;
    }
}

bool IsCFile(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("c") || suffix == QLatin1String("h");
}
