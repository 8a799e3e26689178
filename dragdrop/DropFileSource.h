#pragma once
// A drag of files, offered as the file list (text/uri-list, built from the paths'
// bytes), the shell ID-list array of the files, the preferred effect (the effect the
// target last answered) and, when MappedNames has a name for each file, the narrow
// and wide name maps.
#include <string>
#include <vector>

#include "dragdrop/DropSource.h"

class TDropFileSource : public TDropSource {
    Q_OBJECT
public:
    TDropFileSource();

    // Full paths. The ID-list array takes them all to lie in the first one's folder,
    // and is not offered for files that do not.
    const std::vector<std::string>& Files() const { return files_; }
    void SetFiles(std::vector<std::string> files) { files_ = std::move(files); }
    // The name each file is to carry where it is dropped, one per file, or none.
    const std::vector<std::string>& MappedNames() const { return mappedNames_; }
    void SetMappedNames(std::vector<std::string> names) { mappedNames_ = std::move(names); }

    // E_UNEXPECTED while there are no files; DV_E_FORMATETC for a request that is not
    // for one of the formats (as content in a memory block), or for a name map that
    // does not have one name per file; E_OUTOFMEMORY when the block cannot be made.
    HResult ProvideData(const TFormatEtc& request, QByteArray& medium) const override;

private:
    std::vector<std::string> files_;
    std::vector<std::string> mappedNames_;
};
