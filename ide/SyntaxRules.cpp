#include "ide/SyntaxRules.h"

#include "compiler/Language.h"

#include "assembler/Assembler.h"

#include <QHash>

#include <optional>

namespace syntax {

namespace {

struct Word {
    int start;
    int length;
};

// The editor hands over lines with their line end: CR and LF end a word too.
bool isSeparator(QChar c, bool comma)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')
           || (comma && c == QLatin1Char(','));
}

// The words of `text` up to `end`.
std::vector<Word> words(QStringView text, int end, bool comma)
{
    std::vector<Word> result;
    int i = 0;
    while (i < end) {
        while (i < end && isSeparator(text[i], comma))
            ++i;
        const int start = i;
        while (i < end && !isSeparator(text[i], comma))
            ++i;
        if (i > start)
            result.push_back({start, i - start});
    }
    return result;
}

int commentStart(QStringView line)
{
    const qsizetype at = line.indexOf(QLatin1Char(';'));
    return at < 0 ? int(line.size()) : int(at);
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Decimal, hexadecimal with H, binary with B; "#" in front for an immediate.
bool isNumber(QStringView word)
{
    if (word.startsWith(QLatin1Char('#')))
        word = word.mid(1);
    return !word.isEmpty() && isDigit(word[0]);
}

Kind familyKind(m51::language::Family family)
{
    switch (family) {
    case m51::language::Family::Structure:
        return Kind::Structure;
    case m51::language::Family::Flow:
        return Kind::Flow;
    case m51::language::Family::Data:
        return Kind::Data;
    case m51::language::Family::Operation:
        break;
    }
    return Kind::Operation;
}

// The language's keywords spelled out in full, by their family.
const QHash<QString, Kind>& m51Keywords()
{
    static const QHash<QString, Kind> table = [] {
        QHash<QString, Kind> t;
        for (const m51::language::Keyword& k : m51::language::kKeywords)
            t.insert(QString::fromLatin1(k.word.data(), qsizetype(k.word.size())), familyKind(k.family));
        return t;
    }();
    return table;
}

// The language's keyword an upper-cased word is (Latin-1 only: keywords are ASCII).
std::optional<m51::language::Keyword> languageKeyword(QStringView upperWord)
{
    for (QChar c : upperWord)
        if (c.unicode() > 0x7F)
            return std::nullopt;
    const QByteArray bytes = upperWord.toLatin1();
    return m51::language::FindKeyword(std::string_view(bytes.constData(), size_t(bytes.size())));
}

} // namespace

QStringList m51KeywordList()
{
    QStringList words = m51Keywords().keys();
    words.sort();
    return words;
}

namespace {

// Words whose operand names a procedure (or a label a procedure starts at).
bool namesProcedure(QStringView upperWord)
{
    const auto keyword = languageKeyword(upperWord);
    return keyword && keyword->operand == m51::language::Operand::ProcedureName;
}

const QSet<QString>& registers()
{
    static const QSet<QString> set = [] {
        QSet<QString> s;
        for (const char* w : {"A",   "AB",  "B",   "C",   "DPTR", "PC",   "R0",   "R1",   "R2",   "R3",   "R4",
                              "R5",  "R6",  "R7",  "@R0", "@R1", "@DPTR", "@A+DPTR", "@A+PC", "ACC", "SP", "DPL",
                              "DPH", "PSW", "P0",  "P1",  "P2",  "P3",  "TMOD", "TCON", "TL0", "TL1", "TH0", "TH1",
                              "SCON", "SBUF", "IE", "IP", "PCON", "T2CON"})
            s.insert(QString::fromLatin1(w));
        return s;
    }();
    return set;
}

bool isRegister(QStringView upperWord)
{
    if (registers().contains(upperWord.toString()))
        return true;
    // Bit addresses of the ports and registers: P1.0, ACC.7
    const qsizetype dot = upperWord.indexOf(QLatin1Char('.'));
    return dot > 0 && registers().contains(upperWord.left(dot).toString());
}

} // namespace

bool m51Keyword(QStringView upperWord, Kind* family)
{
    const auto found = m51Keywords().constFind(upperWord.toString());
    if (found != m51Keywords().cend()) {
        *family = found.value();
        return true;
    }
    // The numbered keywords (COUNTn, LOOPn, WRCOUNTn ...)
    if (const auto keyword = languageKeyword(upperWord)) {
        *family = familyKind(keyword->family);
        return true;
    }
    // RDxx / WRxx of a special-function register (RDTMOD, WRSP ...)
    if ((upperWord.startsWith(QLatin1String("RD")) || upperWord.startsWith(QLatin1String("WR")))
        && registers().contains(upperWord.mid(2).toString())) {
        *family = Kind::Data;
        return true;
    }
    return false;
}

std::vector<Span> m51Line(QStringView line, const QSet<QString>& procedures)
{
    std::vector<Span> spans;
    const int comment = commentStart(line);
    const std::vector<Word> ws = words(line, comment, false);
    if (!ws.empty()) {
        const QString first = line.mid(ws[0].start, ws[0].length).toString().toUpper();
        if (first.startsWith(QLatin1String("ASM:"))) {
            spans.push_back({ws[0].start, 4, Kind::AsmPrefix});
            const int rest = ws[0].start + 4;
            if (comment > rest)
                spans.push_back({rest, comment - rest, Kind::AsmText});
        } else {
            QStringView word = first;
            int start = ws[0].start;
            // "3@IFA=0": the buffer number loads A before the condition
            const qsizetype at = word.indexOf(QLatin1Char('@'));
            if (at > 0 && isNumber(word.left(at)) && word.mid(at + 1).startsWith(QLatin1String("IF"))) {
                spans.push_back({start, int(at) + 1, Kind::Number});
                start += int(at) + 1;
                word = word.mid(at + 1);
            }
            Kind family;
            bool operandIsName = false;
            if (m51Keyword(word, &family)) {
                spans.push_back({start, int(word.size()), family});
                operandIsName = namesProcedure(word);
            } else if (procedures.contains(word.toString())) {
                spans.push_back({start, int(word.size()), Kind::Procedure});
            }
            for (size_t i = 1; i < ws.size(); ++i) {
                const QStringView operand = line.mid(ws[i].start, ws[i].length);
                const QString upper = operand.toString().toUpper();
                Kind kind;
                if (isNumber(operand))
                    spans.push_back({ws[i].start, ws[i].length, Kind::Number});
                else if (const auto keyword = languageKeyword(upper);
                         keyword && keyword->role == m51::language::Role::Operand)
                    spans.push_back({ws[i].start, ws[i].length, Kind::Structure});
                else if ((i == 1 && operandIsName) || procedures.contains(upper))
                    spans.push_back({ws[i].start, ws[i].length, Kind::Procedure});
                else if (i > 1 && m51Keyword(upper, &kind) && ws[i - 1].length == 6
                         && line.mid(ws[i - 1].start, 6).compare(QLatin1String("INLINE"), Qt::CaseInsensitive) == 0)
                    spans.push_back({ws[i].start, ws[i].length, kind});   // the statement of an INLINE action
            }
        }
    }
    if (comment < line.size())
        spans.push_back({comment, int(line.size()) - comment, Kind::Comment});
    return spans;
}

std::vector<Span> asm51Line(QStringView line)
{
    std::vector<Span> spans;
    const int comment = commentStart(line);
    const std::vector<Word> ws = words(line, comment, true);
    for (size_t i = 0; i < ws.size(); ++i) {
        const QStringView word = line.mid(ws[i].start, ws[i].length);
        const QString upper = word.toString().toUpper();
        if (upper == QLatin1String("ERROR") || upper == QLatin1String("ERORR") || upper == QLatin1String("ERROR:")) {
            // The compiler's refusal line, or an assembler's error: the rest of the line says why.
            spans.push_back({ws[i].start, comment - ws[i].start, Kind::Error});
            break;
        }
        Kind kind;
        if (word.endsWith(QLatin1Char(':')) && i == 0)
            kind = Kind::Label;
        else if (const m51asm::WordKind read = m51asm::KindOfWord(upper.toLatin1().toStdString());
                 upper.startsWith(QLatin1Char('$')) || read == m51asm::WordKind::Directive)
            kind = Kind::Directive;
        else if (read == m51asm::WordKind::Instruction)
            kind = Kind::Mnemonic;
        else if (isRegister(upper))
            kind = Kind::Register;
        else if (isNumber(word))
            kind = Kind::Number;
        else
            continue;
        spans.push_back({ws[i].start, ws[i].length, kind});
    }
    if (comment < line.size())
        spans.push_back({comment, int(line.size()) - comment, Kind::Comment});
    return spans;
}

} // namespace syntax
