#pragma once
// The main window `Form1`: the menu bar, the tool bar of seven user tools and
// the four lists the compiler fills. The source text itself lives in the
// editor window; the current file, the settings, the compile result and the
// build are the session's. The status bar tells the result of the last
// command and whether the text has unsaved changes.

#include <QMainWindow>
#include <functional>
#include <memory>

class CSourceCheck;
class ListBox;
class QAction;
class QLabel;
class RecentFiles;
class Session;
class TPlacement;
class QMenu;
class QToolButton;
struct WindowSet;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // `windows`: the set the start-up code fills; the commands show and use
    // the other windows through it.
    TForm1(Session& session, const WindowSet& windows, QWidget* parent = nullptr);
    ~TForm1() override;

    QWidget* Panel1;
    QToolButton* T1;
    QToolButton* T2;
    QToolButton* T3;
    QToolButton* T4;
    QToolButton* T5;
    QToolButton* T6;
    QToolButton* T7;
    ListBox* ProcBox;
    ListBox* Definebox;
    ListBox* InlineBox;
    ListBox* ErBox;

    QMenu* Soubor1;         // "File"
    QAction* Nov1;          // "New"
    QAction* Otevt1;        // "Open"
    QAction* Ulo;           // "Save"
    QAction* Uloitjako1;    // "Save As"
    QAction* Zavt1;         // "Close File"
    QAction* ZavtZelvar1;   // "Close Zelvar"
    QMenu* recentMenu;      // "Recent files": the last ten sources, newest first
    QAction* Kontroluj1;    // "Check"
    QAction* Kompiluj1;     // "Debug"
    QAction* Sklad1;        // "Macro"
    QAction* Vnitn1;        // "Setup"
    QAction* Help1;         // "Help"

    TPlacement* PL1;        // window placement, section "Form1"
    // Debug's build progress: "Building ..." while the script runs, then when
    // it ended and whether it succeeded. A later Check's result replaces it.
    QLabel* buildStatus;
    QLabel* modifiedStatus; // "Modified" while the text has unsaved changes

    // The file dialogs. Each gets the folder to start in (and the save dialog
    // the preset name) and returns the chosen path, or an empty text when the
    // user cancels. Tests replace them.
    using OpenDialog = std::function<QString(QWidget* parent, const QString& folder)>;
    using SaveDialog = std::function<QString(QWidget* parent, const QString& folder, const QString& name)>;
    OpenDialog OD1;
    SaveDialog SD1;
    // How a tool's command is started (ShellRun by default).
    std::function<void(const QString& command)> shellRun;
    // "Save changes to FILE?" with Save, Discard and Cancel; returns the
    // button (QMessageBox::Save, Discard or Cancel). Tests replace it.
    std::function<int(QWidget* parent, const QString& file)> askSaveChanges;
    // "FILE was changed by another program. Reload it?" (`modified`: and lose
    // the changes); true for reload. Tests replace it.
    std::function<bool(QWidget* parent, const QString& file, bool modified)> askReload;
    // Before another source takes the editor (New, Open, a recent file): ends
    // the debug session of the old one, asking first while its program runs;
    // false when the user keeps it running. `next` is the file to open
    // (empty for New): another source file of the program being debugged
    // keeps the session. None: nothing to end. The debugger's wiring sets it.
    using EndDebuggingCheck = std::function<bool(const QString& next)>;
    void setEndDebuggingCheck(EndDebuggingCheck check) { m_mayEndDebugging = std::move(check); }
    // The current file changed on disk: asks, and reloads when the user says so.
    void reloadChangedFile(const QString& path);

    QToolButton* toolButton(int k) const;
    Session& session() const { return m_session; }   // T1 … T7 for k = 1 … 7

    // The recent sources and the folder the file dialogs start in.
    RecentFiles* recentFiles() const { return m_recent.get(); }
    // Opens an entry of "Recent files"; a file that is gone leaves the list
    // with a message.
    void openRecentFile(const QString& path);

    // Loads a source file into the editor and makes it the current file;
    // "Cannot open file %s" when it cannot be read, and then nothing changes.
    void OpenSourceFile(const QString& path);
    // Before the text is replaced or Zelvar ends: unsaved changes are saved,
    // discarded or kept as the user answers. False when the user cancelled (or
    // the save did not happen), and then nothing may be lost.
    bool maySetTextAside();
    void Nov1Click();
    void Otevt1Click();
    // "Save" (saveAs == false) or "Save As". False when the user cancelled the
    // file dialog or the file cannot be written (that error is reported).
    bool UloClick(bool saveAs);
    void Zavt1Click();
    void ZavtZelvar1Click();
    // "Check" (debug == false) and "Debug": an untitled text is first given a
    // name (Save As; cancelled, nothing happens); autosave when the setup says
    // so; compile, write the .asm file; Debug then builds when the setup says
    // "Compile ASM >> HEX".
    void Kompiluj1Click(bool debug);
    // Double click in ProcBox, ErBox or Definebox: the editor goes to the line
    // whose 0-based index starts the selected entry.
    void ErBoxClick(ListBox* box);
    void T1Click(int k);
    void Sklad1Click();
    void Vnitn1Click();
    void Help1Click();
    // ErBox takes a third of the client height.
    void FormResize();
    // Problems the debugger met (a board file's "NAME.board:LINE: ...", a
    // state that was refused) join the error list, except those a build
    // listed already on their lines; the first also shows in the status bar.
    void addProblems(const QStringList& messages);

    // Lays out the tool bar from the settings: a button for tool 1 and for
    // every tool with a caption, as wide as its caption; the bar shows when
    // any of the first six commands or the first three captions is set.
    void layOutTools();

    // One window: the caption names the current file also while it is
    // unchanged (the editor has no caption of its own there).
    void setFileInTitle(bool on);

    // Window placement, section "Form1".
    void restorePlacement();
    void savePlacement();
    void FormDestroy();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Whether another source may take the editor (no debug session, or the user ends it).
    bool mayEndDebugging(const QString& next) const { return !m_mayEndDebugging || m_mayEndDebugging(next); }
    EndDebuggingCheck m_mayEndDebugging;
    void buildMenus();
    void buildClientArea();
    void buildStatusBar();
    void showCompileResult();
    void showDiagnostics();
    void showModified(bool modified);
    void updateTitle();
    // Empties the lists and the status: they told of another text.
    void clearResults();
    void startDebugBuild();
    void fillRecentMenu();
    void rememberFile(const QString& path);

    Session& m_session;
    const WindowSet& m_windows;
    std::unique_ptr<RecentFiles> m_recent;
    bool m_askingReload = false;
    bool m_fileInTitle = false;
    QWidget* m_lists = nullptr;
    CSourceCheck* m_cCheck = nullptr;  // Check of a C source with SDCC, made on first use
    void checkCSource();  // the tool bar and the lists: the middle, or a dock in One window
};
