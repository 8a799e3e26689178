#include "app/FileLists.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

bool MimeDataFiles(const QMimeData* data, QStringList& files)
{
    if (!data)
        return false;
    QList<QUrl> urls;
    if (data->hasFormat("x-special/gnome-copied-files")) {
        const QList<QByteArray> lines = data->data("x-special/gnome-copied-files").split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) // the first line says copy or cut
            if (!lines[i].trimmed().isEmpty())
                urls.append(QUrl::fromEncoded(lines[i].trimmed()));
    } else if (data->hasUrls()) {
        urls = data->urls();
    } else {
        return false;
    }
    for (const QUrl& url : urls)
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    return !files.isEmpty() || urls.isEmpty();
}

bool ClipboardFiles(QStringList& files) { return MimeDataFiles(QGuiApplication::clipboard()->mimeData(), files); }

bool IsShortcutFileName(const QString& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const qsizetype dot = path.lastIndexOf('.');
    if (dot < 0 || dot < slash)
        return false;
    const QString ext = path.mid(dot).toLower();
    return ext == ".lnk" || ext == ".pif" || ext == ".url";
}
