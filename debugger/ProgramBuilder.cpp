#include "debugger/ProgramBuilder.h"

#include "common/FileWriteQt.h"
#include "toolchain/AssemblyProject.h"
#include "toolchain/CBuild.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace m51dbg {

namespace {

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
    toolchain::Program built =
        toolchain::BuildAssemblyProject(toolchain::AssemblyProjectFor(path, sourceBytes), path, sourceBytes,
                                        info.fileName().toStdString());
    return FinishBuild(std::move(built), sourceName, sourceName,
                       QDir(outputDir).filePath(info.completeBaseName().section('.', 0, 0) + ".hex"));
}

QString ProjectFileFor(const QString& sourcePath)
{
    const QFileInfo info(sourcePath);
    if (info.suffix().toLower() == QLatin1String("m51proj"))
        return sourcePath;
    const QStringList projects = info.dir().entryList({QStringLiteral("*.m51proj")}, QDir::Files, QDir::Name);
    return projects.isEmpty() ? QString() : info.dir().filePath(projects.front());
}

bool IsCSource(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("c") || suffix == QLatin1String("h") || suffix == QLatin1String("m51proj");
}

BuildOutput BuildC(const QString& sourcePath, const QString& outputDir, const QString& sdccProgram)
{
    const QString project = ProjectFileFor(sourcePath);
    // Without a project, a header builds the .c file of its name (the folder's .c files all the same).
    QString built = project;
    if (built.isEmpty())
        built = QFileInfo(sourcePath).suffix().toLower() == QLatin1String("h")
                    ? QFileInfo(sourcePath).dir().filePath(QFileInfo(sourcePath).completeBaseName() + ".c")
                    : sourcePath;
    const QString base = QFileInfo(built).completeBaseName();
    toolchain::Program program =
        toolchain::CBuild(sdccProgram.toStdString()).run({{}, built.toStdString(), (base + ".asm").toStdString()});
    return FinishBuild(std::move(program), built, base + ".asm", QDir(outputDir).filePath(base + ".hex"));
}

bool IsAssemblySource(const QString& path)
{
    return toolchain::LanguageOf(path.toStdString()) == toolchain::Language::Assembly;
}

BuildOutput LoadBuiltProgram(const QString& hexPath, const QString& listingPath, const QString& mapPath)
{
    BuildOutput out;
    auto read = [&out](const QString& path, QByteArray& bytes) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            AddFileProblem(out, path, 0, QStringLiteral("cannot read: %1").arg(file.errorString()));
            return false;
        }
        bytes = file.readAll();
        return true;
    };
    QByteArray listing, map;
    if (!read(listingPath, listing) || (!mapPath.isEmpty() && !read(mapPath, map)))
        return out;
    const std::string lineMap = map.toStdString();
    toolchain::Program built = toolchain::ReadListedProgram(std::string_view(listing.constData(), listing.size()),
                                                            mapPath.isEmpty() ? nullptr : &lineMap,
                                                            mapPath.toStdString());
    const bool ok = built.ok;
    out.program = Program(std::move(built), hexPath);
    out.ok = ok;
    return out;
}

} // namespace m51dbg
