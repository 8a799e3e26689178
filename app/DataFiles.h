#pragma once
// The files the program reads at run time (the help book) are found relative to the
// program file itself, never in the source tree: beside it in the build folder, or
// in ../share/quillmere/ once installed (bin/quillmere, share/quillmere/...), so that
// an installation works under any prefix and can be moved as a whole.
#include <QString>
#include <QStringList>

// The folders looked in, in order: the program's folder, then ../share/quillmere/.
// Needs the application object.
QStringList DataFolders();

// The path of the run-time file `name` in the first folder that has it; when none
// has it, the path an installed program would have it at (for the message saying so).
QString DataFilePath(const QString& name);

// The help book's name: the program file's name, lower-cased, with ".html".
QString HelpBookName();
