#pragma once
// The options dialog: the list's columns and default action, the "Quillmere"
// command on folders in the file manager, and the menu bar at start. It reads its
// state when it opens and on OK writes only what a change asks for.
#include <QDialog>
#include <string>

class QButtonGroup;
class QPushButton;
class QTableWidget;
class TColList;
class TForm1;

// The radio groups' choices, as their item indexes.
enum TContextChoice { ccInclude = 0, ccDoNotInclude = 1 };
enum TDefActionChoice { daSystemDefault = 0, daProperties = 1 };
enum TMenuChoice { mcAlwaysShow = 0, mcNeverShow = 1, mcSameAsLastShutdown = 2 };

// The shell-integration keys under HKEY_CLASSES_ROOT.
inline constexpr const char* kFolderCommandKey = "Directory\\shell\\Quillmere\\command";

class TQuilOptBox : public QDialog {
    Q_OBJECT
public:
    // programPath: the program the folder command starts (bytes); by default the
    // running one.
    explicit TQuilOptBox(TForm1& form, std::string programPath = {});

    QTableWidget* ColList() const;
    QButtonGroup* ContextGroup() const { return contextGroup_; }
    QButtonGroup* DefActionGroup() const { return defActionGroup_; }
    QButtonGroup* MenuGroup() const { return menuGroup_; }
    QPushButton* OKBtn() const { return okBtn_; }
    QPushButton* CancelBtn() const { return cancelBtn_; }
    QPushButton* HelpBtn() const { return helpBtn_; }
    bool Edited() const { return edited_; }

    void FormActivate();
    void BuildList();
    void ColListClick();
    void EditedTrue() { edited_ = true; }
    void OKBtnClick();
    void HelpBtnClick();
    void UpdateConfig();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QButtonGroup* AddRadioGroup(const char* title, const char* hint, std::initializer_list<const char*> items);
    void WriteShellIntegration(bool include);

    TForm1& form_;
    std::string programPath_;
    TColList* colList_ = nullptr;
    QButtonGroup* contextGroup_ = nullptr;
    QButtonGroup* defActionGroup_ = nullptr;
    QButtonGroup* menuGroup_ = nullptr;
    QPushButton* okBtn_ = nullptr;
    QPushButton* cancelBtn_ = nullptr;
    QPushButton* helpBtn_ = nullptr;
    bool edited_ = false;
    bool activated_ = false;
};
