#pragma once
// Shell folder items: the record behind every node of the folder tree, the kinds of
// root folder, and the operations that enumerate a folder into nodes, decide which
// items are shown and with what, order them, and convert between paths, item ID
// lists, names and icons. All of it runs on the user-interface thread; what would
// wait on a network mount is handed to another thread (FolderReader.h, RenameItem).
#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foldertree/MaskSearch.h"
#include "foldertree/PidlHelp.h"
#include "platform/shell/ShellFolder.h"

using platform::shell::ShellFolderPtr;

// The kind of folder at the root of a tree, in this order.
enum TRootFolder {
    rfDesktop,
    rfRecycleBin,
    rfControlPanel,
    rfDesktopDir,
    rfDrives,
    rfFavoriteURLs,
    rfFonts,
    rfNetHood,
    rfNetHoodDir,
    rfDocumentDir,
    rfPrinters,
    rfPrograms,
    rfRecentDir,
    rfSendTo,
    rfStartMenu,
    rfStartup,
    rfTemplates,
    rfFileSystem, // Computer, showing only file-system items
    rfCustom,     // the folder named by CustomDir
};

// The special folder id that locates a root kind (-1 for rfCustom).
int RootFolderCsidl(TRootFolder root);

// How long a network mount may take to answer a single call (a rename) before it is
// taken as gone.
inline constexpr std::chrono::milliseconds kNetworkWait{2000};

// The attributes every item is asked for.
inline constexpr std::uint32_t kFolderItemAttributeMask = 0xF20B0177;

// The record of one tree node. Counted, so that a record left behind at program end
// shows as a leak (CheckFolderItemDataLeaks).
class TFolderItemData {
public:
    TFolderItemData();
    ~TFolderItemData();
    TFolderItemData(const TFolderItemData&) = delete;
    TFolderItemData& operator=(const TFolderItemData&) = delete;

    bool Populated = false;      // the children have been enumerated into the node
    ShellFolderPtr ParentFolder; // the folder that enumerated the item (the desktop for a root)
    std::uint32_t Attributes = 0;
    IdList RelativeIdList; // the item relative to ParentFolder
    IdList AbsoluteIdList; // the item relative to the desktop
};

// Live TFolderItemData records.
long FolderItemDataCount();

class ELeaking : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// Raised when binding a folder to expand it fails, with the system's message.
class EFolderBind : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raises ELeaking when records are still alive; called once, at program end.
void CheckFolderItemDataLeaks();

// A node of the folder tree: its text, its record, and its children. The tree
// widget shows these nodes; the record owns the item's lists. Once a node is in the
// tree, only the tree's model changes it (FolderTreeModel.h), so that the views
// hear of every change.
struct TFolderNode {
    TFolderNode* Parent = nullptr;
    std::vector<std::unique_ptr<TFolderNode>> Children;
    int Row = 0; // index among the parent's children

    std::string Text; // the display name (bytes; decoded only to be drawn)
    std::unique_ptr<TFolderItemData> Data;
    int OverlayIndex = -1;  // 0 shared, 1 link
    bool HasButton = false; // expand button before the first expansion
    bool Probed = false;    // looked into for subfolders its attributes missed
    // No item: the "Reading..." row that stands for the children of a folder being
    // read off the GUI thread.
    bool Placeholder = false;

    // System icon indexes, fetched when the node is first drawn, then kept.
    bool IconsFetched = false;
    int ImageIndex = -1;
    int SelectedIndex = -1;
    bool Checked = false;

    int Level() const;
    // Sets Row of every child from its position.
    void RenumberChildren(std::size_t from = 0);
};

// The state of a folder tree that the item operations read, and its AddNode.
class TFolderTreeBase {
public:
    virtual ~TFolderTreeBase() = default;

    TRootFolder RootFolder() const { return rootFolder_; }
    const std::string& CustomDir() const { return customDir_; }
    const std::string& CustomDirCaption() const { return customDirCaption_; }
    bool ShowFiles() const { return showFiles_; }
    bool ShowHiddenDirs() const { return showHiddenDirs_; }
    const std::string& FileMask() const { return fileMask_; }
    const TMaskList& MaskList() const { return maskList_; }
    const ShellFolderPtr& DesktopFolder() const { return desktopFolder_; }

    // Makes the node of an item when MakeFolderItem shows it: appended to parent
    // (or at the top without one). Answers the node, or null when the item is not
    // shown; the node's record then owns the lists, else they stay with the caller.
    virtual TFolderNode* AddNode(const ShellFolderPtr& folder, IdList& absolute, TFolderNode* parent,
                                 IdList& relative) = 0;

protected:
    // Obtains the desktop folder; raises std::runtime_error with the system's
    // message when it cannot.
    TFolderTreeBase();

    TRootFolder rootFolder_ = rfDesktop;
    std::string customDir_;
    std::string customDirCaption_;
    bool showFiles_ = false;
    bool showHiddenDirs_ = true;
    std::string fileMask_;
    TMaskList maskList_;
    ShellFolderPtr desktopFolder_;
};

// What MakeFolderItem decided for a shown item.
struct TFolderItemInfo {
    std::string Name;
    std::unique_ptr<TFolderItemData> Data;
    int Overlay = -1;
    bool HasButton = false;
};

// Display name kinds of GetItemDisplayName.
enum { gdnNormal = 0, gdnInFolder = 1, gdnForParsing = 2 };

std::string GetItemDisplayName(const ShellFolderPtr& folder, PCIdList relativeIdList, int kind);
// The system icon index of an item (-1 on failure); the flags are SHGetFileInfo's
// (SHGFI_OPENICON 0x2 asks for the open icon). Needs the GUI: defined with the tree.
int GetItemIconIndex(PCIdList absoluteIdList, unsigned flags);
// (normal, open) small icon indexes; open takes normal's value when it is 0.
std::pair<int, int> GetItemIcons(PCIdList absoluteIdList);
bool ParsePath(const ShellFolderPtr& folder, std::string_view path, IdList& out);
std::string GetItemPath(PCIdList absoluteIdList);
bool GetRootIdList(const TFolderTreeBase& tree, TRootFolder rootFolder, const std::string& customDir, IdList& out);
// The folder whose children a node shows; raises EFolderBind when it cannot be bound.
ShellFolderPtr BindItemFolder(const TFolderTreeBase& tree, const TFolderNode& node);
// Hands every item of folder to tree.AddNode; true when there was at least one.
bool EnumerateChildren(TFolderTreeBase& tree, const ShellFolderPtr& folder, TFolderNode* parentNode);
// The SHCONTF_ flags EnumerateChildren reads a folder with.
std::uint32_t EnumerationFlags(const TFolderTreeBase& tree);
// Hands items of folder read earlier (off the GUI thread, with EnumerationFlags) to
// tree.AddNode, as EnumerateChildren does; true when there was at least one.
bool AddChildren(TFolderTreeBase& tree, const ShellFolderPtr& folder, TFolderNode* parentNode,
                 std::vector<IdList>& items);
// Whether an item is shown, and if so with what. On false the lists are untouched.
bool MakeFolderItem(const TFolderTreeBase& tree, const ShellFolderPtr& folder, IdList& absoluteIdList,
                    TFolderNode* parentNode, IdList& relativeIdList, TFolderItemInfo& out);
// Sibling order: negative, zero or positive.
int CompareFolderItems(const TFolderNode* a, const TFolderNode* b);
// Renames the item of record (never over an existing item) and updates its lists.
// On failure the record is unchanged and errorMessage (when given) says why. An item
// on a network mount is renamed on another thread, waited for at most networkWait:
// past it the record is unchanged too and the message is "MOUNT does not answer".
bool RenameItem(TFolderItemData* record, std::string_view newName, const TFolderItemData* parentRecord,
                std::string* errorMessage = nullptr, std::chrono::milliseconds networkWait = kNetworkWait);
