#include "dragdrop/DropFileSource.h"

#include "dragdrop/DropBlocks.h"
#include "platform/clipboard/Clipboard.h"

TDropFileSource::TDropFileSource()
{
    AddFormat(CF_HDROP);
    AddFormat(CFSTR_SHELLIDLIST);
    AddFormat(CFSTR_PREFERREDDROPEFFECT);
    AddFormat(CFSTR_FILENAMEMAP);
    AddFormat(CFSTR_FILENAMEMAPW);
}

HResult TDropFileSource::ProvideData(const TFormatEtc& request, QByteArray& medium) const
{
    medium.clear();
    if (files_.empty())
        return E_UNEXPECTED;
    const bool mapped = mappedNames_.size() == files_.size();
    std::optional<std::string> block;
    if (RequestMatches(request, CF_HDROP)) {
        medium = platform::clipboard::MakeUriList(files_);
        return platform::shell::S_OK;
    }
    if (mapped && RequestMatches(request, CFSTR_FILENAMEMAP)) {
        block = MakeNameMap(mappedNames_);
    } else if (mapped && RequestMatches(request, CFSTR_FILENAMEMAPW)) {
        block = MakeWideNameMap(mappedNames_);
    } else if (RequestMatches(request, CFSTR_SHELLIDLIST)) {
        const std::string& first = files_.front();
        const std::string folder = first.substr(0, first.rfind('/') + 1);
        std::vector<std::string> names;
        for (const std::string& file : files_) {
            // A file of another folder would be looked up by its name in the first
            // one's, where a namesake may stand.
            if (file.size() <= folder.size() || file.compare(0, folder.size(), folder) != 0 ||
                file.find('/', folder.size()) != std::string::npos)
                return platform::shell::E_OUTOFMEMORY;
            names.push_back(file.substr(folder.size()));
        }
        block = folder.empty() ? std::nullopt : MakeShellIdListArray(folder, names);
    } else if (RequestMatches(request, CFSTR_PREFERREDDROPEFFECT)) {
        block = MakePreferredEffectBlock(LastEffect());
    } else {
        return DV_E_FORMATETC;
    }
    if (!block)
        return platform::shell::E_OUTOFMEMORY;
    medium = QByteArray::fromStdString(*block);
    return platform::shell::S_OK;
}
