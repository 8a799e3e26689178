// The main window's drops: files dragged onto a folder of the tree, or onto the list
// (its folder, or one of its subfolder rows). Shortcut files are copied or moved
// (Ctrl copies, and so do files whose folder does not let them go); any other file
// gets a shortcut made to it. The shell's verbs do the work: Copy or Cut puts the
// dropped files on the clipboard, and Paste or Paste Shortcut puts them into the
// folder, with the shell's own progress and questions. Where there is no folder
// (Computer, Trash, beside the tree's nodes, a list showing none) nothing is offered.
#include <QAbstractItemModel>

#include "app/Unit1.h"
#include "dragdrop/DropFileTarget.h"
#include "foldertree/SystemTreeView.h"
#include "platform/shell/ShellFolder.h"
#include "platform/verbs/PasteFiles.h"
#include "shortcuts/ShellVerbs.h"
#include "shortcuts/wekShortcutListView.h"

namespace {

bool HasShortcutExtension(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return false;
    std::string ext = path.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return ext == ".lnk" || ext == ".pif" || ext == ".url";
}

// The destination is one of the dropped folders or lies inside one: moving a folder
// into itself (or copying it there, or linking it from there) is no drop.
bool InsideDropped(const std::vector<std::string>& files, std::string destination)
{
    while (destination.size() > 1 && destination.back() == '/')
        destination.pop_back();
    if (destination.empty())
        return false;
    for (std::string file : files) {
        while (file.size() > 1 && file.back() == '/')
            file.pop_back();
        if (file == "/" || destination == file ||
            (destination.size() > file.size() && destination.compare(0, file.size(), file) == 0 &&
             destination[file.size()] == '/'))
            return true;
    }
    return false;
}

} // namespace

void TForm1::AttachDropTargets()
{
    dropFileTargetTV_ = new TDropFileTarget(this);
    dropFileTargetTV_->setObjectName("DropFileTargetTV");
    dropFileTargetLV_ = new TDropFileTarget(this);
    dropFileTargetLV_->setObjectName("DropFileTargetLV");
    using namespace std::placeholders;
    for (TDropFileTarget* target : {dropFileTargetTV_, dropFileTargetLV_}) {
        target->SetDragtypes(0);
        target->SetGetDataOnEnter(true);
        target->SetShowImage(true);
        target->OnEnter = std::bind(&TForm1::DropFileTargetEnter, this, _1, _2, _3, _4);
        target->OnGetDropEffect = std::bind(&TForm1::DropFileTargetGetDropEffect, this, _1, _2, _3, _4);
        target->OnDrop = std::bind(&TForm1::DropFileTargetDrop, this, _1, _2, _3, _4);
    }
    dropFileTargetTV_->OnDragOver = std::bind(&TForm1::DropFileTargetTVDragOver, this, _1, _2, _3, _4);
    dropFileTargetTV_->OnLeave = std::bind(&TForm1::DropFileTargetTVLeave, this, _1);
    dropFileTargetLV_->OnDragOver = std::bind(&TForm1::DropFileTargetLVDragOver, this, _1, _2, _3, _4);
    dropFileTargetLV_->OnLeave = std::bind(&TForm1::DropFileTargetLVLeave, this, _1);

    dropFileTargetLV_->AttachTo(list_);
    dropFileTargetTV_->AttachTo(dfsTV_);
}

void TForm1::DropFileTargetEnter(TDropTarget* sender, TShiftState, QPoint, TDropEffect&)
{
    // The entry's own effect is already chosen; these types count from the first
    // move over the control.
    auto* target = static_cast<TDropFileTarget*>(sender);
    target->SetDragtypes(dtCopy | dtMove);
    for (const std::string& file : target->Files())
        if (!HasShortcutExtension(file))
            target->SetDragtypes(dtLink);
    // Asked once per drag: the Cut of the drop would refuse files their folder does
    // not let go, so those are offered a copy.
    dropFilesMovable_ = (target->Dragtypes() & dtMove) &&
                        CommonAttributesOfFiles(target->Files(), platform::shell::SFGAO_CANMOVE) != 0;
}

int TForm1::ListDropRow(QPoint point) const
{
    const QModelIndex index = list_->indexAt(point);
    return index.isValid() && index.row() < list_->FolderCount() ? index.row() : -1;
}

// The list's row is the one under the pointer, which its move highlights: the effect
// answered for a point is then the one for the folder shown highlighted there, not
// for the one highlighted at the move before.
std::string TForm1::DropDestination(const TDropTarget* target, QPoint point) const
{
    if (target == dropFileTargetTV_)
        return dfsTV_->GetNodePath(dfsTV_->NodeAt(point));
    std::string destination = list_->Directory();
    if (const int row = ListDropRow(point); row >= 0)
        destination += list_->ItemName(row);
    return destination;
}

void TForm1::DropFileTargetGetDropEffect(TDropTarget* sender, TShiftState shift, QPoint point, TDropEffect& effect)
{
    // The list's own rows can go into one of its subfolders, not where they are.
    if (sender == dropFileTargetLV_ && list_->DraggingRows() && ListDropRow(point) < 0) {
        effect = DROPEFFECT_NONE;
        return;
    }
    const std::string destination = DropDestination(sender, point);
    if (destination.empty()) {
        effect = DROPEFFECT_NONE;
        return;
    }
    if (effect & DROPEFFECT_MOVE) {
        if (shift & ssCtrl)
            effect = DROPEFFECT_COPY;
        else if (!dropFilesMovable_)
            effect &= DROPEFFECT_COPY;
        else
            effect = DROPEFFECT_MOVE;
    }
    if (effect != DROPEFFECT_NONE && InsideDropped(static_cast<TDropFileTarget*>(sender)->Files(), destination))
        effect = DROPEFFECT_NONE;
}

void TForm1::DropFileTargetTVDragOver(TDropTarget* sender, TShiftState, QPoint point, TDropEffect&)
{
    TFolderNode* node = dfsTV_->NodeAt(point);
    TFolderNode* old = dfsTV_->DropTarget();
    if (node == old)
        return;
    sender->SetShowImage(false);
    // Drawn now: the drag's loop may not paint before the pointer moves on.
    QRegion changed(dfsTV_->visualRect(dfsTV_->IndexOf(old)));
    dfsTV_->SetDropTarget(node);
    changed += dfsTV_->visualRect(dfsTV_->IndexOf(node));
    dfsTV_->viewport()->repaint(changed);
    sender->SetShowImage(true);
}

void TForm1::DropFileTargetLVDragOver(TDropTarget* sender, TShiftState, QPoint point, TDropEffect&)
{
    const int row = ListDropRow(point);
    const int old = list_->DropHighlightRow();
    if (row == old)
        return;
    sender->SetShowImage(false);
    auto rowRect = [this](int r) {
        if (r < 0)
            return QRect();
        const QRect cell = list_->visualRect(list_->model()->index(r, 0));
        return QRect(0, cell.top(), list_->viewport()->width(), cell.height());
    };
    QRegion changed(rowRect(old));
    list_->SetDropHighlightRow(-1);
    list_->SetDropHighlightRow(row);
    changed += rowRect(row);
    list_->viewport()->repaint(changed);
    sender->SetShowImage(true);
}

void TForm1::DropFileTargetTVLeave(TDropTarget*) { dfsTV_->SetDropTarget(nullptr); }

void TForm1::DropFileTargetLVLeave(TDropTarget*) { list_->SetDropHighlightRow(-1); }

void TForm1::DropFileTargetDrop(TDropTarget* sender, TShiftState, QPoint point, TDropEffect& effect)
{
    const std::string destination = DropDestination(sender, point);
    // The target forgets its files when this handler returns; the verbs may not.
    const std::vector<std::string> files = static_cast<TDropFileTarget*>(sender)->Files();
    const char* take = nullptr;
    const char* put = nullptr;
    switch (effect) {
    case DROPEFFECT_COPY:
        take = "Copy", put = "Paste";
        break;
    case DROPEFFECT_MOVE:
        take = "Cut", put = "Paste";
        break;
    case DROPEFFECT_LINK:
        take = "Copy", put = "PasteLink";
        break;
    default:
        break;
    }
    if (take && !files.empty() && !destination.empty()) {
        // The paste takes the dropped files themselves, whatever the clipboard holds
        // by then; and only once the shell has taken them: files it refused to copy
        // or cut are not pasted either. The folder is named with its "/", so its
        // name is taken as it is, never as a pattern.
        const platform::verbs::ScopedPasteFiles pasted(files, effect == DROPEFFECT_MOVE);
        const std::string folder = destination.back() == '/' ? destination : destination + '/';
        // The source learns the effect that was carried out: none when refused.
        if (!RunVerbOnFiles(take, "", files, this) || !RunVerbOnPath(put, folder, this))
            effect = DROPEFFECT_NONE;
    }
    list_->SetDropHighlightRow(-1);
    dfsTV_->SetDropTarget(nullptr);
}
