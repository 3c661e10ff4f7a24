#include "ide/Nastavu.h"

#include "ide/Session.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

namespace {

QLineEdit* makeEdit(QWidget* parent, const char* name, const QRect& geometry, bool visible)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(geometry);
    edit->setVisible(visible);
    return edit;
}

QCheckBox* makeCheck(QWidget* parent, const char* name, const QString& caption, const QRect& geometry, bool visible)
{
    auto* check = new QCheckBox(caption, parent);
    check->setObjectName(QLatin1String(name));
    check->setGeometry(geometry);
    check->setVisible(visible);
    return check;
}

QLabel* makeLabel(QWidget* parent, const QString& text, int x, int y, bool visible = true)
{
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    label->setVisible(visible);
    return label;
}

} // namespace

TNastav::TNastav(Session& session, QWidget* parent)
    : QDialog(parent), m_session(session)
{
    setObjectName(QStringLiteral("Nastav"));
    setWindowTitle(QStringLiteral("Internal Setup"));
    buildLayout();
    LoadSetup();
    connect(&m_session, &Session::setupChanged, this, &TNastav::LoadSetup);

    // The simulator and SDCC live in the profile, kept the moment they change.
    ProfileStore& profile = m_session.profile();
    Simulator->setCurrentIndex(profile.s51Simulator() ? 1 : 0);
    Sdcc->setText(profile.sdccProgram());
    connect(Simulator, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_session.profile().setS51Simulator(index == 1);
        keepChoices();
        emit simulatorChosen(index == 1);
    });
    connect(Sdcc, &QLineEdit::editingFinished, this, [this] {
        const QString program = Sdcc->text().trimmed();
        m_session.profile().setSdccProgram(program);
        keepChoices();
        emit sdccChosen(program);
    });
}

void TNastav::keepChoices()
{
    if (const QString reason = m_session.profile().save(); !reason.isEmpty())
        emit profileNotWritten(reason);
}

void TNastav::buildLayout()
{
    setFixedSize(439, 401);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    setFont(font);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(178, 178, 178));
    setPalette(palette);

    auto* top = new QFrame(this);
    top->setFrameShape(QFrame::Panel);
    top->setFrameShadow(QFrame::Raised);
    top->setGeometry(0, 0, width(), 33);
    auto* topText = new QLabel(QStringLiteral("For external setup debuger read pleas Help "), top);
    topText->setGeometry(0, 0, width(), 33);
    topText->setAlignment(Qt::AlignCenter);

    // Hidden fields: they change only through the file (and Edit4 through
    // opening a file), but are read and written back like the others.
    Edit1 = makeEdit(this, "Edit1", QRect(8, 0, 100, 21), false);
    Edit1->setToolTip(QStringLiteral("Jmeno kompilatotu"));
    Edit2 = makeEdit(this, "Edit2", QRect(8, 0, 100, 21), false);
    Edit2->setToolTip(QStringLiteral("Jmeno kompilatoru"));
    Edit3 = makeEdit(this, "Edit3", QRect(8, 0, 100, 21), false);
    Edit4 = makeEdit(this, "Edit4", QRect(8, 0, 100, 21), false);
    C1 = makeCheck(this, "C1", QStringLiteral("Compile ASM >> HEX"), QRect(8, 0, 150, 17), false);
    C2 = makeCheck(this, "C2", QStringLiteral("Compile HEX >> BIN"), QRect(8, 0, 150, 17), false);
    AutoOpen = makeCheck(this, "AutoOpen", QStringLiteral("AutoOpen při startu"), QRect(8, 0, 150, 17), false);
    Edit20 = makeEdit(this, "Edit20", QRect(8, 0, 100, 21), false);
    Edit20->setToolTip(QStringLiteral("Jmeno kompilatoru"));
    // Reference texts kept on the dialog, unseen.
    for (const QString& text : {QStringLiteral("$MOD XX"), QStringLiteral("AutoOpen"), QStringLiteral("ASM51.PIF"),
                                QStringLiteral("Hexbin2.pif"), QStringLiteral("s parametrem"),
                                QStringLiteral("\"Filename\".HEX \"Filename\".BIN H 0000 FFFF 1")})
        makeLabel(this, text, 8, 0, false);

    Auto = makeCheck(this, "Auto", QStringLiteral("Autosave in Debug Process"), QRect(16, 48, 200, 19), true);
    makeLabel(this, QStringLiteral("Visibility"), 332, 40);
    Edit5 = makeEdit(this, "Edit5", QRect(332, 56, 89, 21), true);
    Edit5->setToolTip(QStringLiteral("0: the build runs unseen; any other number: in a terminal window"));

    makeLabel(this, QStringLiteral("Call external programs (exe)"), 16, 90);
    makeLabel(this, QStringLiteral("Caption"), 36, 110);
    makeLabel(this, QStringLiteral("command:"), 132, 110);
    QLineEdit** captions[] = {&Edit13, &Edit14, &Edit15, &Edit16, &Edit17, &Edit18, &Edit19};
    QLineEdit** commands[] = {&Edit6, &Edit7, &Edit8, &Edit9, &Edit10, &Edit11, &Edit12};
    for (int row = 0; row < 7; ++row) {
        const int y = 128 + 24 * row;
        makeLabel(this, QString::number(row + 1), 18, y + 3);
        *captions[row] = makeEdit(this, qPrintable(QStringLiteral("Edit%1").arg(13 + row)), QRect(36, y, 89, 21), true);
        *commands[row] = makeEdit(this, qPrintable(QStringLiteral("Edit%1").arg(6 + row)), QRect(132, y, 209, 21), true);
    }

    makeLabel(this, QStringLiteral("Simulator for Run and Debug"), 16, 320);
    Simulator = new QComboBox(this);
    Simulator->setObjectName(QStringLiteral("Simulator"));
    Simulator->addItems({QStringLiteral("Built-in 8051 simulator"), QStringLiteral("s51 (sdcc-ucsim)")});
    Simulator->setGeometry(16, 338, 209, 21);
    makeLabel(this, QStringLiteral("SDCC"), 16, 371);
    Sdcc = makeEdit(this, "Sdcc", QRect(52, 368, 273, 21), true);
    Sdcc->setPlaceholderText(QStringLiteral("sdcc ($SDCC when set)"));
    Sdcc->setToolTip(QStringLiteral("The SDCC that builds C programs: the path of its sdcc program; empty: the one "
                                    "$SDCC names, else sdcc on the PATH"));

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("Save setup"));
    SpeedButton1->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    SpeedButton1->setIconSize(QSize(32, 32));
    SpeedButton1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    SpeedButton1->setGeometry(width() - 16 - 81, height() - 16 - 64, 81, 64);
    connect(SpeedButton1, &QToolButton::clicked, this, &TNastav::SaveSetup);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QLineEdit* TNastav::textField(int line) const
{
    switch (line) {
    case 1: return Edit1;
    case 2: return Edit2;
    case 3: return Edit3;
    case 5: return Edit4;
    case 8: return Edit5;
    case 24: return Edit20;
    default:
        if (line >= 9 && line <= 15)
            return toolCommandField(line - 8);
        if (line >= 16 && line <= 22)
            return toolCaptionField(line - 15);
        return nullptr;
    }
}

QCheckBox* TNastav::flagField(int line) const
{
    switch (line) {
    case 4: return Auto;
    case 6: return C1;
    case 7: return C2;
    case 23: return AutoOpen;
    default: return nullptr;
    }
}

QLineEdit* TNastav::toolCommandField(int k) const
{
    QLineEdit* const fields[] = {Edit6, Edit7, Edit8, Edit9, Edit10, Edit11, Edit12};
    return k >= 1 && k <= 7 ? fields[k - 1] : nullptr;
}

QLineEdit* TNastav::toolCaptionField(int k) const
{
    QLineEdit* const fields[] = {Edit13, Edit14, Edit15, Edit16, Edit17, Edit18, Edit19};
    return k >= 1 && k <= 7 ? fields[k - 1] : nullptr;
}

QString TNastav::toolCommand(int k) const
{
    QLineEdit* field = toolCommandField(k);
    return field ? field->text() : QString();
}

QString TNastav::toolCaption(int k) const
{
    QLineEdit* field = toolCaptionField(k);
    return field ? field->text() : QString();
}

void TNastav::LoadSetup()
{
    const Setup& setup = m_session.setup();
    LB = setup.lines();
    for (int line = 1; line <= SetupFile::LineCount; ++line) {
        if (QLineEdit* field = textField(line))
            field->setText(setup.line(line));
        else if (QCheckBox* flag = flagField(line))
            flag->setChecked(setup.flag(line));
    }
}

Setup TNastav::editedSetup() const
{
    Setup setup = m_session.setup();
    for (int line = 1; line <= SetupFile::LineCount; ++line) {
        if (QLineEdit* field = textField(line))
            setup.setLine(line, field->text());
        else
            setup.setFlag(line, flagField(line)->isChecked());
    }
    return setup;
}

bool TNastav::SaveSetup()
{
    if (!m_session.setSetup(editedSetup()))
        return false;
    if (isVisible())
        accept();
    return true;
}
