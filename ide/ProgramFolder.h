#pragma once
// Where Zelvar keeps its files.
//
// The program folder is the folder of the program file when a user may write
// there (the build tree, an unpacked folder): it holds Zelvar.INI, the build
// template and the generated build script, the snippet folder Macro and the
// help file. When it is not writable (installed system-wide), the data folder
// $XDG_DATA_HOME/Zelvar (by default ~/.local/share/Zelvar) takes its role; it
// is filled with copies of whatever it lacks of the installed templates, help
// file, setup file and sample snippets (of the program's own folder when
// Zelvar is not installed), so Debug and Help work from the first start.

#include <QString>

// The program folder, without a trailing separator. Decided once per run.
QString programFolder();

// Makes `folder` the program folder (tests; an empty text goes back to the rule).
void setProgramFolder(const QString& folder);

// The folder of the installed resources: <prefix>/share/zelvar beside the
// program's bin folder, or the folder given at build time.
QString installedResourceFolder();

// The program file's name without folder and extension ("Zelvar").
QString programBaseName();

// The help file: the program folder, the program file's name without its
// extension, ".rtf".
QString helpFilePath();

// The setup file Zelvar.INI in the program folder.
QString setupFilePath();

// Copies the files of a program folder that Zelvar needs (help file, setup
// file, build templates, splash picture, snippets) from `from` into `to`
// where `to` lacks them.
void copyProgramFiles(const QString& from, const QString& to);

// Copies every file and folder of `from` into `to` that `to` does not have yet;
// existing files are left alone. Used to fill the data folder.
void copyMissingFiles(const QString& from, const QString& to);
