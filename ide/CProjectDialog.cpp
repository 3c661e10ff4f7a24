#include "ide/CProjectDialog.h"

#include "common/FileWriteQt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>

namespace {

QString Joined(const std::vector<std::string>& words)
{
    QStringList list;
    for (const std::string& word : words)
        list << QString::fromStdString(word);
    return list.join(QLatin1Char(' '));
}

std::vector<std::string> Words(const QString& text)
{
    std::vector<std::string> words;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        words.push_back(word.toStdString());
    return words;
}

} // namespace

CProjectDialog::CProjectDialog(const QString& sourcePath, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("C Project"));
    const QFileInfo source(sourcePath);
    const QDir folder = source.dir();
    const QStringList existing = folder.entryList({QStringLiteral("*.m51proj")}, QDir::Files, QDir::Name);
    m_path = folder.filePath(existing.isEmpty() ? source.completeBaseName() + QStringLiteral(".m51proj") : existing.front());
    QFile file(m_path);
    if (!existing.isEmpty() && file.open(QIODevice::ReadOnly))
        m_project = sdcc::ReadProject(file.readAll().toStdString(), folder.path().toStdString(),
                                      QFileInfo(m_path).completeBaseName().toStdString()).project;
    else
        m_project = sdcc::DefaultProject(folder.path().toStdString(), source.fileName().toStdString());

    auto* form = new QFormLayout(this);
    m_name = new QLineEdit(QFileInfo(m_path).completeBaseName(), this);
    m_name->setToolTip(QStringLiteral("The project file NAME.m51proj and the image NAME.ihx with NAME.cdb"));
    form->addRow(QStringLiteral("&Name"), m_name);
    m_sources = new QLineEdit(Joined(m_project.sources), this);
    m_sources->setToolTip(QStringLiteral("The .c files, separated by spaces, relative to the project's folder"));
    form->addRow(QStringLiteral("&Sources"), m_sources);
    m_chip = new QComboBox(this);
    m_chip->setEditable(true);
    m_chip->addItems({QStringLiteral("8051"), QStringLiteral("8052"), QStringLiteral("80C51"), QStringLiteral("89C52")});
    m_chip->setCurrentText(QString::fromStdString(m_project.chip));
    form->addRow(QStringLiteral("&Chip"), m_chip);
    m_crystal = new QLineEdit(QString::number(m_project.crystalMHz), this);
    form->addRow(QStringLiteral("C&rystal (MHz)"), m_crystal);
    m_model = new QComboBox(this);
    for (auto model : {sdcc::CProject::Model::Small, sdcc::CProject::Model::Medium, sdcc::CProject::Model::Large,
                       sdcc::CProject::Model::Huge})
        m_model->addItem(QString::fromLatin1(sdcc::ModelName(model)));
    m_model->setCurrentIndex(int(m_project.model));
    form->addRow(QStringLiteral("Memory &model"), m_model);
    m_stackAuto = new QCheckBox(QStringLiteral("--stack-auto (locals and parameters on the stack)"), this);
    m_stackAuto->setChecked(m_project.stackAuto);
    form->addRow(QString(), m_stackAuto);
    auto sizeBox = [this](unsigned value) {
        auto* box = new QSpinBox(this);
        box->setRange(0, 65536);
        box->setSpecialValueText(QStringLiteral("SDCC's default"));
        box->setValue(int(value));
        return box;
    };
    m_codeSize = sizeBox(m_project.codeSize);
    form->addRow(QStringLiteral("C&ode size (bytes)"), m_codeSize);
    m_xramSize = sizeBox(m_project.xramSize);
    form->addRow(QStringLiteral("E&xternal RAM (bytes)"), m_xramSize);
    m_options = new QLineEdit(Joined(m_project.options), this);
    form->addRow(QStringLiteral("More SDCC o&ptions"), m_options);
    m_buildFolder = new QLineEdit(QString::fromStdString(m_project.buildFolder), this);
    m_buildFolder->setPlaceholderText(QStringLiteral("beside the sources"));
    form->addRow(QStringLiteral("&Build folder"), m_buildFolder);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        const QString why = save();
        if (why.isEmpty())
            accept();
        else
            QMessageBox::warning(this, QStringLiteral("C Project"), why);
    });
}

sdcc::CProject CProjectDialog::project() const
{
    sdcc::CProject p = m_project;
    p.name = m_name->text().trimmed().toStdString();
    p.sources = Words(m_sources->text());
    p.chip = m_chip->currentText().trimmed().toStdString();
    bool ok = false;
    const double crystal = m_crystal->text().trimmed().toDouble(&ok);
    if (ok && crystal > 0)
        p.crystalMHz = crystal;
    p.model = sdcc::CProject::Model(m_model->currentIndex());
    p.stackAuto = m_stackAuto->isChecked();
    p.codeSize = unsigned(m_codeSize->value());
    p.xramSize = unsigned(m_xramSize->value());
    p.options = Words(m_options->text());
    p.buildFolder = m_buildFolder->text().trimmed().toStdString();
    return p;
}

QString CProjectDialog::save() const
{
    const sdcc::CProject p = project();
    if (p.name.empty() || p.sources.empty())
        return QStringLiteral("A project needs a name and at least one source.");
    const QString text = QString::fromStdString(sdcc::WriteProject(p));
    // Written as read back: a mistake in the form never makes a file the build refuses.
    const auto read = sdcc::ReadProject(text.toStdString(), p.folder.string(), p.name);
    if (!read.errors.empty())
        return QString::fromStdString(read.errors.front().message);
    const QString path = QFileInfo(m_path).dir().filePath(QString::fromStdString(p.name) + QStringLiteral(".m51proj"));
    const QString why = m51::writeFileAtomically(path, text.toUtf8());
    return why.isEmpty() ? QString() : QStringLiteral("%1: %2").arg(path, why);
}
