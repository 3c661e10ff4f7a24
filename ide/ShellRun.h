#pragma once
// Starting a user tool: the whole command text is the thing to open. No
// parameters are split off and no working folder is given. An executable file
// (a path, or a program name found on the PATH) is started as a program; an
// existing document or folder is handed to the desktop's default application,
// and so is a URL ("https://…", "mailto:…"). Anything else fails, silently.

#include <QString>

struct ShellTarget {
    enum Kind { Nothing, Program, Document, Url };
    Kind kind = Nothing;
    QString target;   // the program's or document's full path, or the URL
};

// What a command text names.
ShellTarget shellTarget(const QString& command);

void ShellRun(const QString& command);
