#include "dragdrop/DropFileTarget.h"

#include <QMimeData>
#include <algorithm>

#include "dragdrop/DropBlocks.h"
#include "dragdrop/DropFormats.h"
#include "platform/clipboard/Clipboard.h"
#include "platform/shell/ShellFolder.h"

namespace {

std::string_view View(const QByteArray& block)
{
    return {block.constData(), static_cast<std::size_t>(block.size())};
}

} // namespace

TDropFileTarget::TDropFileTarget(QObject* owner) : TDropTarget(owner) {}

bool TDropFileTarget::HasDropFormat() const
{
    return DataObject() && DataObject()->hasFormat(CF_HDROP);
}

void TDropFileTarget::ResetDropData()
{
    files_.clear();
    mappedNames_.clear();
}

bool TDropFileTarget::ReadDropData()
{
    ResetDropData();
    const QMimeData* data = DataObject();
    if (!data || platform::clipboard::FromWebPage(data))
        return false;
    const QByteArray list = data->data(CF_HDROP);
    if (list.isEmpty())
        return false;
    const bool read = platform::clipboard::ReadUriList(list, files_);

    // Asking another program for a format it lacks costs a round trip each time.
    const QByteArray map = data->hasFormat(CFSTR_FILENAMEMAP) ? data->data(CFSTR_FILENAMEMAP) : QByteArray();
    if (!map.isEmpty())
        mappedNames_ = ReadNameMap(View(map));
    else if (data->hasFormat(CFSTR_FILENAMEMAPW))
        mappedNames_ = ReadWideNameMap(View(data->data(CFSTR_FILENAMEMAPW)));
    // A name that is no plain name could place a file outside the folder it is
    // dropped in.
    const bool plain = std::all_of(mappedNames_.begin(), mappedNames_.end(),
                                   [](const std::string& name) { return platform::shell::IsValidEntryName(name); });
    if (mappedNames_.size() != files_.size() || !plain)
        mappedNames_.clear();
    return read;
}
