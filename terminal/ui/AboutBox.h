#pragma once
// The about box, the program's caption and its resources.

#include <QDialog>

class QPushButton;

// "Terminal v1.6": the window's caption until the title tells the state.
extern const char* const MainCaption;
// The icon lives in the library's resources, which a static library must
// register by hand.
void initTerminalResources();

class TAboutFrm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutFrm(QWidget* parent = nullptr);
    QPushButton* ExitBtn;
};
