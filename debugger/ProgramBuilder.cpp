#include "ProgramBuilder.h"

#include "Assembler.h"
#include "FileWriteQt.h"
#include "toolchain/Build.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace m51dbg {

namespace {

bool WriteFile(const QString& path, const std::string& bytes, QString& error)
{
    const QString reason = m51::writeFileAtomically(path, QByteArray::fromStdString(bytes));
    if (!reason.isEmpty()) {
        error = QStringLiteral("%1: cannot write: %2").arg(path, reason);
        return false;
    }
    return true;
}

std::vector<SourceMap::AddressEntry> Entries(const std::vector<m51asm::AddressMapEntry>& map)
{
    std::vector<SourceMap::AddressEntry> entries;
    entries.reserve(map.size());
    for (const auto& entry : map)
        entries.push_back({entry.line, entry.address, entry.size});
    return entries;
}

} // namespace

BuildOutput FinishBuild(ProgramCode code, const QString& sourceName, const QString& asmName, const QString& hexPath)
{
    BuildOutput out;
    for (const BuildError& error : code.errors) {
        const QString file = !error.file.empty() ? QString::fromStdString(error.file)
                             : error.onAssembly  ? asmName
                                                 : sourceName;
        QString message = QString::fromLatin1(error.message);
        if (error.asmLine > 0)
            message += QStringLiteral(" (assembly line %1)").arg(error.asmLine);
        if (!error.context.empty())
            message += QStringLiteral(", ") + QString::fromLatin1(error.context);
        out.errors.push_back(error.line <= 0 ? QStringLiteral("%1: %2").arg(file, message)
                                             : QStringLiteral("%1:%2: %3").arg(file).arg(error.line).arg(message));
    }
    out.buildErrors = code.errors;
    out.assembly = std::move(code.assembly);
    out.listing = std::move(code.listing);
    if (!code.ok)
        return out;

    QString writeError;
    out.program.hexPath = hexPath;
    if (!WriteFile(out.program.hexPath, code.hex, writeError)) {
        out.errors.push_back(writeError);
        out.buildErrors.push_back({false, 0, 0, writeError.toStdString(), {}, {}, m51::Stage::Files});
        return out;
    }
    out.program.code = std::move(code.image);
    out.program.map = std::move(code.map);
    out.program.labels = std::move(code.labels);
    out.ok = true;
    return out;
}

BuildOutput BuildM51(const std::string& sourceBytes, const QString& sourceName, const QString& outputDir)
{
    const QString base = QFileInfo(sourceName).completeBaseName().section('.', 0, 0);
    const QString asmName = QFileInfo(sourceName).path() + '/' + base + ".asm";
    BuildOutput out = FinishBuild(CompileM51(sourceBytes, (base + ".asm").toStdString()), sourceName, asmName,
                                  QDir(outputDir).filePath(base + ".hex"));
    out.program.fromM51 = true;
    return out;
}

BuildOutput BuildAssembly(const std::string& sourceBytes, const QString& sourceName, const QString& outputDir)
{
    const QFileInfo info(sourceName);
    const std::string path = info.isAbsolute() ? sourceName.toStdString() : std::string();
    ProgramCode code = AssembleSource(sourceBytes, info.fileName().toStdString(), path);
    return FinishBuild(std::move(code), sourceName, sourceName,
                  QDir(outputDir).filePath(info.completeBaseName().section('.', 0, 0) + ".hex"));
}

bool IsAssemblySource(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("asm") || suffix == QLatin1String("a51");
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
