#pragma once
// The main window `Form1`: the menu bar, the tool bar of seven user tools and
// the four lists the compiler fills. The source text itself lives in the
// editor window; its caption is the current file.

#include <QMainWindow>
#include <functional>
#include <memory>

class ListBox;
class QAction;
class QLabel;
class RecentFiles;
class TBuildChain;
class TPlacement;
class QMenu;
class QToolButton;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
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
    // Debug's build chain: template, script, worker thread, listing. Its
    // progress shows in the status bar (buildStatus).
    TBuildChain* BuildChain1;
    QLabel* buildStatus;

    // The file dialogs. Each gets the folder to start in (and the save dialog
    // the preset name) and returns the chosen path, or an empty text when the
    // user cancels. Tests replace them.
    using OpenDialog = std::function<QString(QWidget* parent, const QString& folder)>;
    using SaveDialog = std::function<QString(QWidget* parent, const QString& folder, const QString& name)>;
    OpenDialog OD1;
    SaveDialog SD1;
    // How a tool's command is started (ShellRun by default).
    std::function<void(const QString& command)> shellRun;

    QToolButton* toolButton(int k) const;   // T1 … T7 for k = 1 … 7

    // The recent sources and the folder the file dialogs start in.
    RecentFiles* recentFiles() const { return m_recent.get(); }
    // Opens an entry of "Recent files"; a file that is gone leaves the list
    // with a message.
    void openRecentFile(const QString& path);

    // Loads a source file into the editor and makes it the current file;
    // "Cannot open file %s" when it cannot be read, and then nothing changes.
    void OpenSourceFile(const QString& path);
    void Nov1Click();
    void Otevt1Click();
    // "Save" (saveAs == false) or "Save As".
    void UloClick(bool saveAs);
    void Zavt1Click();
    void ZavtZelvar1Click();
    // "Check" (debug == false) and "Debug": autosave when Auto is set, compile,
    // write the .asm file; Debug then builds when C1 is set.
    void Kompiluj1Click(bool debug);
    void CompileSource();
    // Double click in ProcBox, ErBox or Definebox: the editor goes to the line
    // whose 0-based index starts the selected entry.
    void ErBoxClick(ListBox* box);
    void T1Click(int k);
    void Sklad1Click();
    void Vnitn1Click();
    void Help1Click();
    // ErBox takes a third of the client height.
    void FormResize();

    // The .asm file of a source path: the path cut before the first "." of its
    // file name, plus ".asm".
    static QString asmFileFor(const QString& sourcePath);

    // Window placement, section "Form1".
    void restorePlacement();
    void savePlacement();
    void FormDestroy();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildClientArea();
    void buildStatusBar();
    void writeAsmFile();
    // Debug's build chain (RunBatchBuild when C1 is set).
    void startDebugBuild();
    // The end of a build: the listing (when the build left one) goes to LST.
    void BuildFinished(const QString& listing);
    void fillRecentMenu();
    void rememberFile(const QString& path);

    std::unique_ptr<RecentFiles> m_recent;
};
