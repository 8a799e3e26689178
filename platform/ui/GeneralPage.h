#pragma once
// The General page of the property window, for any files and folders: icon, name,
// type, location, size, times and the two attributes a Linux file has in Windows'
// terms. Read-only is "no write bit" (setting it clears every write bit, clearing it
// sets the owner's); hidden is a leading dot, so changing it renames. One item can
// be renamed from here, by the rename rules: never over an existing file.
#include <QWidget>
#include <string>
#include <vector>

class QCheckBox;
class QFormLayout;
class QLabel;
class QLineEdit;

namespace platform::ui {

class FolderSizeCounter;

class GeneralPage : public QWidget {
    Q_OBJECT
public:
    explicit GeneralPage(std::vector<std::string> paths, QWidget* parent = nullptr);
    ~GeneralPage() override;

    const std::vector<std::string>& Paths() const { return paths_; }
    bool IsModified() const;

    // The steps of a save, in the window's order: write bits first given back (so a
    // read-only shortcut can be edited in the same go), taken away after the other
    // pages saved, the rename last. Each answers an error for the user, or "".
    QString ClearReadOnly();
    QString SetReadOnly();
    // One item: renames it when its name (or hidden) changed; paths_ follows.
    QString Rename();
    // What is on disk now becomes what the page starts from.
    void Reload();

signals:
    void Changed();

private:
    void Build();
    void Fill();
    void CountFolders(const std::vector<std::string>& folders, quint64 fileBytes, quint64 files, quint64 folderCount);
    std::string NewName() const;

    std::vector<std::string> paths_;
    QLabel* icon_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* type_ = nullptr;
    QFormLayout* details_ = nullptr;
    QLabel* location_ = nullptr;
    QLabel* linkTo_ = nullptr;
    QLabel* size_ = nullptr;
    QLabel* contains_ = nullptr;
    QLabel* created_ = nullptr;
    QLabel* modified_ = nullptr;
    QLabel* accessed_ = nullptr;
    QCheckBox* readOnly_ = nullptr;
    QCheckBox* hidden_ = nullptr;
    int readOnlyAtStart_ = 0; // Qt::CheckState
    FolderSizeCounter* counter_ = nullptr;
};

} // namespace platform::ui
