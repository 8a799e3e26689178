#include "app/DataFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QStringList DataFolders()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    return {exeDir, QDir::cleanPath(exeDir + "/../share/quillmere")};
}

QString DataFilePath(const QString& name)
{
    const QStringList folders = DataFolders();
    for (const QString& folder : folders) {
        const QString path = folder + "/" + name;
        if (QFileInfo(path).isFile())
            return path;
    }
    return folders.back() + "/" + name;
}

QString HelpBookName()
{
    QString exe = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (exe.isEmpty())
        exe = "quillmere";
    return exe.toLower() + ".html";
}
