#include "ProgramBuilder.h"

#include "Assembler.h"
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

// A problem with one of the build's files, on the file as a whole or on a line of it.
void AddFileProblem(BuildOutput& out, const QString& path, int line, const QString& message)
{
    toolchain::Diagnostic d;
    d.file = path.toStdString();
    d.line = line;
    d.stage = m51::Stage::Files;
    d.message = message.toStdString();
    out.program.diagnostics.push_back(std::move(d));
}

} // namespace

std::vector<QString> BuildOutput::messages() const
{
    std::vector<QString> texts;
    for (const toolchain::Diagnostic& d : program.diagnostics) {
        // Paths and the reasons of file problems are UTF-8; what the compiler
        // and the assembler say is source text, one character a byte.
        auto text = [&d](const std::string& bytes) {
            return d.stage == m51::Stage::Files ? QString::fromStdString(bytes) : QString::fromLatin1(bytes);
        };
        QString message = text(d.message);
        if (d.asmLine > 0)
            message += QStringLiteral(" (assembly line %1)").arg(d.asmLine);
        if (!d.context.empty())
            message += QStringLiteral(", ") + text(d.context);
        const QString file = QString::fromStdString(d.file);
        texts.push_back(d.line <= 0 ? QStringLiteral("%1: %2").arg(file, message)
                                    : QStringLiteral("%1:%2: %3").arg(file).arg(d.line).arg(message));
    }
    return texts;
}

BuildOutput FinishBuild(toolchain::Program built, const QString& sourceName, const QString& asmName, const QString& hexPath)
{
    BuildOutput out;
    built.diagnostics = toolchain::NamedDiagnostics(built, sourceName.toStdString(), asmName.toStdString());
    const bool ok = built.ok;
    out.program = Program(std::move(built), hexPath);
    if (!ok)
        return out;
    const QString reason = m51::writeFileAtomically(hexPath, QByteArray::fromStdString(out.program.hex));
    if (!reason.isEmpty()) {
        AddFileProblem(out, hexPath, 0, QStringLiteral("cannot write: %1").arg(reason));
        return out;
    }
    out.ok = true;
    return out;
}

BuildOutput BuildM51(const std::string& sourceBytes, const QString& sourceName, const QString& outputDir)
{
    const QString base = QFileInfo(sourceName).completeBaseName().section('.', 0, 0);
    const QString asmName = QFileInfo(sourceName).path() + '/' + base + ".asm";
    return FinishBuild(toolchain::CompileM51(sourceBytes, (base + ".asm").toStdString()), sourceName, asmName,
                       QDir(outputDir).filePath(base + ".hex"));
}

BuildOutput BuildAssembly(const std::string& sourceBytes, const QString& sourceName, const QString& outputDir)
{
    const QFileInfo info(sourceName);
    const std::string path = info.isAbsolute() ? sourceName.toStdString() : std::string();
    toolchain::Program built = toolchain::AssembleSource(sourceBytes, info.fileName().toStdString(), path);
    return FinishBuild(std::move(built), sourceName, sourceName,
                       QDir(outputDir).filePath(info.completeBaseName().section('.', 0, 0) + ".hex"));
}

bool IsAssemblySource(const QString& path)
{
    return toolchain::LanguageOf(path.toStdString()) == toolchain::Language::Assembly;
}

BuildOutput LoadBuiltProgram(const QString& hexPath, const QString& listingPath, const QString& mapPath)
{
    BuildOutput out;
    QFile listing(listingPath);
    if (!listing.open(QIODevice::ReadOnly)) {
        AddFileProblem(out, listingPath, 0, QStringLiteral("cannot read: %1").arg(listing.errorString()));
        return out;
    }
    const QByteArray listingText = listing.readAll();
    const auto addressMap = m51asm::ReadListingAddressMap(std::string_view(listingText.constData(), listingText.size()));

    std::vector<int> lineMap;
    if (!mapPath.isEmpty()) {
        QFile map(mapPath);
        if (!map.open(QIODevice::ReadOnly)) {
            AddFileProblem(out, mapPath, 0, QStringLiteral("cannot read: %1").arg(map.errorString()));
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
                AddFileProblem(out, mapPath, number, QStringLiteral("not \"ASMLINE M51LINE\""));
                return out;
            }
            if (lineMap.size() < static_cast<size_t>(asmLine))
                lineMap.resize(asmLine, -1);
            lineMap[asmLine - 1] = sourceLine - 1;
        }
    }
    out.program.language = mapPath.isEmpty() ? toolchain::Language::Assembly : toolchain::Language::M51;
    out.program.hexPath = hexPath;
    out.program.map = SourceMap(lineMap, Entries(addressMap));
    toolchain::LinesFromMap(out.program);
    out.program.ok = true;
    out.ok = true;
    return out;
}

} // namespace m51dbg
