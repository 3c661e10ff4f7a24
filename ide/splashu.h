#pragma once
// The start-up window `Splash`: the picture, the program's name and version,
// the build date (the program file's modification time) and "START". Shown
// modally by the start-up sequence; "START" closes it.

#include <QDateTime>
#include <QDialog>

class QLabel;
class QPushButton;

class TSplash : public QDialog {
    Q_OBJECT
public:
    // `picture`: the JPEG file shown behind the texts.
    explicit TSplash(const QString& picture, QWidget* parent = nullptr);

    QLabel* Image1;
    QLabel* Title;      // "Zelvar"
    QLabel* Version;    // "ver.3.1"
    QLabel* Label1;     // "Compiling:"
    QLabel* Label2;     // the build date
    QPushButton* Button1;   // "START"

    void FormCreate();
    void Button1Click();

    // The date text: local time, the locale's short date, a blank, long time.
    static QString buildDateText(const QDateTime& modified);
};
