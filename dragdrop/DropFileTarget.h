#pragma once
// A drop target for file lists: it takes only drags that carry a file list
// ("text/uri-list") and reads the dropped files, with the names they are to carry
// when the source gives a name map.
//
// Files holds local paths only, as bytes: URIs that name no local file are left
// out, and a list naming none is no file list. A drag from a web page (browser
// formats beside the list) is no file list either: its page chose the files. A name map must give a plain name
// (no "/", not "." or "..") for each file, or it is dropped and the files keep their
// names.
#include <string>
#include <vector>

#include "dragdrop/DropTarget.h"

class TDropFileTarget : public TDropTarget {
    Q_OBJECT
public:
    explicit TDropFileTarget(QObject* owner = nullptr);

    // From when the data is read (at entry with GetDataOnEnter, else at the drop)
    // until the drag leaves or the drop's handler returns.
    const std::vector<std::string>& Files() const { return files_; }
    const std::vector<std::string>& MappedNames() const { return mappedNames_; }

protected:
    bool ReadDropData() override;
    void ResetDropData() override;
    bool HasDropFormat() const override;

private:
    std::vector<std::string> files_;
    std::vector<std::string> mappedNames_;
};
