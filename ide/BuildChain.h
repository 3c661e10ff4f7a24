#pragma once
// The build chain behind the Debug command. After the compiler has saved
// <base>.asm, RunBatchBuild deletes the old <base>.lst, .bin and .hex, reads the
// build template of the program folder into CBox, puts the source's name in
// place of every placeholder, writes the result as the generated script in the
// program folder and runs it on a worker thread (TExecuteThread), so the
// window stays responsive. When the script has ended, BuildFinished runs on the
// main thread and offers <base>.lst, if the build left one, to the listing
// window.
//
// Linux: template compile.sh, script compil.sh, run by /bin/sh. The placeholder
// becomes the full path of <base>.m51 without its extension written as ONE
// single-quoted shell word ('/home/me/my prog'), so a name holding blanks,
// quotes, $, ; or back-quotes can neither split the command nor run anything;
// the template writes the placeholder bare: "Filename".asm. Windows: template
// compile.bat, script compil.bat, run by the command interpreter, and the
// placeholder becomes the 8.3 short name. A missing <base>.m51 gives the empty
// name ('' on Linux). The <base> is the current file cut before the first "."
// of its file-name part, the rule of every generated file name.

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TExecuteThread;

namespace BuildChain {

// The ten characters that every template line may hold: "Filename" in double quotes.
inline constexpr std::string_view Placeholder = "\"Filename\"";

// Replaces every placeholder of `line`, left to right, by `name`. Text that was
// put in is not searched again, so a name that itself holds the placeholder
// cannot make the replacement run forever.
std::string ReplacePlaceholders(std::string line, std::string_view name);
// `text` as one single-quoted POSIX shell word; a single quote becomes '\''.
std::string ShellQuote(std::string_view text);
// The text put in place of the placeholder for the source <base>.m51 (the
// extension's letter case does not matter; missing file: the empty name).
std::string FileNameText(const QString& base);
// The base of a source path: cut before the first "." of its file-name part.
QString BaseOf(const QString& path);
// The show mode from the setup's "Visibility" text: its number with the
// fraction dropped; anything that is not a number gives 0 (hidden).
int ShowModeFromText(const QString& visibility);

QString TemplateName(); // compile.sh / compile.bat
QString ScriptName();   // compil.sh / compil.bat

} // namespace BuildChain

class TBuildChain : public QObject {
    Q_OBJECT
public:
    // `programFolder`: where the template is read and the script written.
    // `currentFile`: gives the current source path (the editor's caption); it is
    // asked when a build starts and again when it ends.
    TBuildChain(const QString& programFolder, std::function<QString()> currentFile, QObject* parent = nullptr);
    // Ends builds still running (their scripts are stopped) and waits for them.
    ~TBuildChain() override;

    // Starts one build and returns at once. The empty text when the script is
    // running; otherwise the message to show ("Cannot open file <template>",
    // "Cannot create file <script>"), and nothing was started.
    QString RunBatchBuild(int showMode);

    // The template's lines after the last RunBatchBuild, placeholders replaced.
    std::vector<std::string> CBox;

    int runningBuilds() const { return int(m_threads.size()); }
    QString programFolder() const { return m_programFolder; }
    QString templatePath() const;
    QString scriptPath() const;

    // A listing as plain text in the Western character set (windows-1252)
    // the assemblers write, line ends as '\n' (the LST window drops a final one).
    static QString ListingText(const QByteArray& bytes);
    // The same read from a file; empty when it cannot be read (a command
    // that must tell why reads it with readFileBytes).
    static QString ReadListingText(const QString& path);

signals:
    void buildStarted();
    // The build left <base>.lst: show the listing window and load the file.
    void listingReady(const QString& lstPath);
    // The script has ended; ok when it started and exited with code 0.
    // `output`: what it wrote, decoded as the system's file names are.
    void buildFinished(bool ok, const QString& output);

private:
    void BuildFinished(TExecuteThread* sender);

    QString m_programFolder;
    std::function<QString()> m_currentFile;
    std::vector<TExecuteThread*> m_threads;
};
