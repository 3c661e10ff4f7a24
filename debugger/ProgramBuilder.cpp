#include "ProgramBuilder.h"

#include "Assembler.h"
#include "Compiler.h"
#include "FileWriteQt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace m51dbg {

namespace {

std::vector<SourceMap::AddressEntry> Entries(const std::vector<m51asm::AddressMapEntry>& map)
{
    std::vector<SourceMap::AddressEntry> entries;
    entries.reserve(map.size());
    for (const auto& entry : map)
        entries.push_back({entry.line, entry.address, entry.size});
    return entries;
}

bool WriteFile(const QString& path, const std::string& bytes, QString& error)
{
    const QString reason = m51::writeFileAtomically(path, QByteArray::fromStdString(bytes));
    if (!reason.isEmpty()) {
        error = QStringLiteral("%1: cannot write: %2").arg(path, reason);
        return false;
    }
    return true;
}

// Drops the "12 " line prefix of a compiler list entry.
QString EntryMessage(const std::string& text)
{
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    const size_t from = digits > 0 && digits < text.size() && text[digits] == ' ' ? digits + 1 : 0;
    return QString::fromLatin1(m51::quoteForMessage(std::string_view(text).substr(from)));
}

} // namespace

BuildOutput BuildM51(const std::string& sourceBytes, const QString& sourceName, const QString& outputDir)
{
    BuildOutput out;
    const m51::CompileResult compiled = m51::CompileSource(m51::SplitSourceLines(sourceBytes));
    for (const m51::ListEntry& entry : compiled.ErBox)
        out.errors.push_back(entry.line < 0 ? QStringLiteral("%1: %2").arg(sourceName, EntryMessage(entry.text))
                                            : QStringLiteral("%1:%2: %3")
                                                  .arg(sourceName)
                                                  .arg(entry.line + 1)
                                                  .arg(EntryMessage(entry.text)));
    if (!out.errors.empty())
        return out;

    for (const std::string& line : compiled.Output) {
        out.assembly += line;
        out.assembly += "\r\n";
    }
    const QString base = QFileInfo(sourceName).completeBaseName().section('.', 0, 0);
    m51asm::AssembleOptions options;
    options.fileName = (base + ".asm").toStdString();
    options.ignoreNolist = true;
    const m51asm::AssembleResult assembled = m51asm::Assemble(out.assembly, options);
    const QString asmName = QFileInfo(sourceName).path() + '/' + base + ".asm";
    for (const m51asm::AsmError& error : assembled.errors) {
        const size_t index = static_cast<size_t>(error.line - 1);
        const QString message = QString::fromLatin1(error.message);
        if (index < compiled.LineMap.size() && compiled.LineMap[index] >= 0)
            out.errors.push_back(QStringLiteral("%1:%2: %3 (assembly line %4)")
                                     .arg(sourceName)
                                     .arg(compiled.LineMap[index] + 1)
                                     .arg(message)
                                     .arg(error.line));
        else
            out.errors.push_back(QStringLiteral("%1:%2: %3").arg(asmName).arg(error.line).arg(message));
    }
    out.listing = assembled.listing;
    if (!out.errors.empty())
        return out;

    QString writeError;
    out.program.hexPath = QDir(outputDir).filePath(base + ".hex");
    if (!WriteFile(out.program.hexPath, assembled.hex, writeError)) {
        out.errors.push_back(writeError);
        return out;
    }
    out.program.code = assembled.image;
    out.program.map = SourceMap(compiled.LineMap, Entries(assembled.addressMap));
    out.ok = true;
    return out;
}

BuildOutput LoadBuiltProgram(const QString& hexPath, const QString& listingPath, const QString& mapPath)
{
    BuildOutput out;
    QFile listing(listingPath);
    if (!listing.open(QIODevice::ReadOnly)) {
        out.errors.push_back(QStringLiteral("%1: cannot read: %2").arg(listingPath, listing.errorString()));
        return out;
    }
    const QByteArray listingText = listing.readAll();
    const auto addressMap = m51asm::ReadListingAddressMap(std::string_view(listingText.constData(), listingText.size()));

    std::vector<int> lineMap;
    if (!mapPath.isEmpty()) {
        QFile map(mapPath);
        if (!map.open(QIODevice::ReadOnly)) {
            out.errors.push_back(QStringLiteral("%1: cannot read: %2").arg(mapPath, map.errorString()));
            return out;
        }
        int number = 0;
        while (!map.atEnd()) {
            ++number;
            const QList<QByteArray> fields = map.readLine().simplified().split(' ');
            bool okAsm = false, okSource = false;
            const int asmLine = fields.value(0).toInt(&okAsm);
            const int sourceLine = fields.value(1).toInt(&okSource);
            if (fields.size() != 2 || !okAsm || !okSource || asmLine < 1 || asmLine > 10000000) {
                out.errors.push_back(QStringLiteral("%1:%2: not \"ASMLINE M51LINE\"").arg(mapPath).arg(number));
                return out;
            }
            if (lineMap.size() < static_cast<size_t>(asmLine))
                lineMap.resize(asmLine, -1);
            lineMap[asmLine - 1] = sourceLine - 1;
        }
    }
    out.program.hexPath = hexPath;
    out.program.map = SourceMap(lineMap, Entries(addressMap));
    out.ok = true;
    return out;
}

} // namespace m51dbg
