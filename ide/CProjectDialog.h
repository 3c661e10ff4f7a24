#pragma once
// File ▸ C Project…: the project file of a C program (NAME.m51proj, see
// sdcc/CProject.h) edited in a form: its sources, the chip and crystal,
// SDCC's memory model, --stack-auto, the code and external RAM sizes, more
// SDCC options and the build folder. Opens the project of the current
// source's folder, or proposes one with the folder's .c files.

#include "sdcc/CProject.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

class CProjectDialog : public QDialog {
    Q_OBJECT
public:
    // `sourcePath`: the current C source; its folder holds the project.
    explicit CProjectDialog(const QString& sourcePath, QWidget* parent = nullptr);

    // The project file the dialog writes (NAME.m51proj in the source's folder).
    QString projectPath() const { return m_path; }
    // The project as the form shows it.
    sdcc::CProject project() const;
    // Writes the project file; empty, or why it could not be written.
    QString save() const;

private:
    QString m_path;
    sdcc::CProject m_project;
    QLineEdit* m_name;
    QLineEdit* m_sources;
    QComboBox* m_chip;
    QLineEdit* m_crystal;
    QComboBox* m_model;
    QCheckBox* m_stackAuto;
    QSpinBox* m_codeSize;
    QSpinBox* m_xramSize;
    QLineEdit* m_options;
    QLineEdit* m_buildFolder;
};
