#pragma once
// File lists as other programs offer them, on the clipboard or in a drop.
#include <QStringList>

class QMimeData;

// The local files of a file list, as the file managers put them there. Web addresses
// and remote files are skipped: a list naming nothing but those is no file list, or
// a copied web link would offer Paste. False when the data hold no file list.
bool MimeDataFiles(const QMimeData* data, QStringList& files);
bool ClipboardFiles(QStringList& files);

// The name ends in ".lnk", ".pif" or ".url", in any letter case.
bool IsShortcutFileName(const QString& path);
