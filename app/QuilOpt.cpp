#include "app/QuilOpt.h"

#include <unistd.h>

#include <QAction>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <functional>

#include "app/Settings.h"
#include "app/Unit1.h"
#include "platform/registry/Registry.h"
#include "platform/shellintegration/FolderHandler.h"
#include "shortcuts/wekShortcutListView.h"

using platform::registry::Hive;
using platform::registry::Key;
using platform::registry::Success;

// The column list: the dialog hears of every click on it (a double-click and the
// space bar too) once the list has handled it, check box included.
class TColList : public QTableWidget {
public:
    using QTableWidget::QTableWidget;
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        QTableWidget::mouseReleaseEvent(event);
        Clicked();
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        QTableWidget::mouseDoubleClickEvent(event);
        Clicked();
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        QTableWidget::keyPressEvent(event);
        if (event->key() == Qt::Key_Space)
            Clicked();
    }

private:
    void Clicked()
    {
        if (OnClick)
            OnClick();
    }
};

namespace {

constexpr const char* kShellKeys[] = {"Directory\\shell\\Quillmere", "Drive\\shell\\Quillmere"};
constexpr const char* kCommandCaption = "&Quillmere";

std::string RunningProgramPath()
{
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    path.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return path;
}

} // namespace

TQuilOptBox::TQuilOptBox(TForm1& form, std::string programPath)
    : QDialog(&form, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::WindowStaysOnTopHint),
      form_(form), programPath_(programPath.empty() ? RunningProgramPath() : std::move(programPath))
{
    setObjectName("QuilOptBox");
    setWindowTitle("Configure Quillmere");
    setFixedSize(567, 383);

    colList_ = new TColList(0, 2, this);
    colList_->setObjectName("ColList");
    colList_->setFixedHeight(202);
    QFont font = colList_->font();
    font.setPixelSize(13);
    colList_->setFont(font);
    colList_->setHorizontalHeaderLabels({"Column", "Description"});
    colList_->setColumnWidth(0, 150);
    colList_->setColumnWidth(1, 405);
    colList_->horizontalHeader()->setSectionsClickable(false);
    colList_->horizontalHeader()->setHighlightSections(false);
    colList_->verticalHeader()->hide();
    // All ten rows fit in the list's height, so no scroll bar takes room from the columns.
    colList_->verticalHeader()->setMinimumSectionSize(1);
    colList_->verticalHeader()->setDefaultSectionSize(17);
    colList_->setShowGrid(true);
    colList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    colList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    colList_->setSelectionMode(QAbstractItemView::SingleSelection);
    colList_->setToolTip("Check marks indicate which columns to display.");
    colList_->OnClick = [this] { ColListClick(); };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 6);
    layout->setSpacing(4);
    layout->addWidget(colList_);
    contextGroup_ = AddRadioGroup("Start Menu Context Menu",
                                  "Include allows you to right-click the Start Menu button (or any file folder) and "
                                  "start Quillmere in that folder.",
                                  {"&Include Quillmere", "&Do Not include Quillmere"});
    defActionGroup_ = AddRadioGroup("Default Action (Double-Click or Enter)",
                                    "Run the program or see its properties when you double-click?",
                                    {"&System Default (Open, Run, etc.)", "&Properties"});
    defActionGroup_->button(daSystemDefault)->setChecked(true);
    menuGroup_ = AddRadioGroup("Main Menu on Startup",
                               "When you start Quillmere, Always show the menu, Never show it, or remember its last "
                               "state.",
                               {"&Always show", "&Never show", "Same as &Last shutdown"});

    okBtn_ = new QPushButton("OK", this);
    okBtn_->setObjectName("OKBtn");
    okBtn_->setToolTip("Save changes");
    okBtn_->setDefault(true);
    cancelBtn_ = new QPushButton("Cancel", this);
    cancelBtn_->setObjectName("CancelBtn");
    cancelBtn_->setToolTip("Discard changes");
    helpBtn_ = new QPushButton("&Help", this);
    helpBtn_->setObjectName("HelpBtn");
    helpBtn_->setToolTip("Read help file");
    connect(okBtn_, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(cancelBtn_, &QPushButton::clicked, this, &QDialog::reject);
    connect(helpBtn_, &QPushButton::clicked, this, [this] { HelpBtnClick(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {okBtn_, cancelBtn_, helpBtn_})
        buttons->addWidget(button);
    layout->addStretch(1);
    layout->addLayout(buttons);

    auto* helpKey = new QAction(this);
    helpKey->setShortcut(Qt::Key_F1);
    helpKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(helpKey, &QAction::triggered, this, [this] { HelpBtnClick(); });
    addAction(helpKey);

    colList_->setFocus();
}

QButtonGroup* TQuilOptBox::AddRadioGroup(const char* title, const char* hint, std::initializer_list<const char*> items)
{
    auto* box = new QGroupBox(title, this);
    box->setToolTip(hint);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(8, 2, 8, 2);
    auto* group = new QButtonGroup(box);
    int index = 0;
    for (const char* item : items) {
        auto* radio = new QRadioButton(item, box);
        grid->addWidget(radio, 0, index);
        grid->setColumnStretch(index, 1);
        group->addButton(radio, index++);
    }
    connect(group, &QButtonGroup::buttonClicked, this, [this] { EditedTrue(); });
    static_cast<QVBoxLayout*>(layout())->addWidget(box);
    return group;
}

QTableWidget* TQuilOptBox::ColList() const { return colList_; }

void TQuilOptBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Once, as the dialog opens: coming back to it from the help browser must not
    // reload the controls and forget what was changed.
    if (!activated_) {
        activated_ = true;
        FormActivate();
    }
}

void TQuilOptBox::FormActivate()
{
    TwekShortcutListView* list = form_.ShortcutList();
    if (!list->OpenRunsDefaultAction())
        defActionGroup_->button(daProperties)->setChecked(true);

    Key settings;
    if (Key::Create(Hive::CurrentUser, kSettingsKey, settings) == Success) {
        bool menuSave = false, menuShow = false;
        if (settings.ReadBool("MenuSave", menuSave) && settings.ReadBool("MenuShow", menuShow)) {
            menuGroup_->button(menuSave ? mcSameAsLastShutdown : menuShow ? mcAlwaysShow : mcNeverShow)
                ->setChecked(true);
        } else {
            settings.WriteBool("MenuSave", false);
            settings.WriteBool("MenuShow", true);
            menuGroup_->button(mcAlwaysShow)->setChecked(true);
        }
    }
    settings.Close();

    Key command;
    const bool included = Key::Open(Hive::ClassesRoot, kFolderCommandKey, command) == Success;
    contextGroup_->button(included ? ccInclude : ccDoNotInclude)->setChecked(true);

    BuildList();
    edited_ = false;
}

void TQuilOptBox::BuildList()
{
    TwekShortcutListView* list = form_.ShortcutList();
    const std::string all = TwekShortcutListView::AllColumns();
    const std::string& set = list->ColumnSet();
    const QStringList& texts = list->ColumnDescriptions();
    colList_->setUpdatesEnabled(false);
    const QSignalBlocker quiet(colList_);
    colList_->setRowCount(0);
    std::size_t p = 0;
    for (std::size_t row = 0; row < all.size(); ++row) {
        const QString text = texts.value(static_cast<qsizetype>(row));
        const qsizetype eq = text.indexOf('=');
        auto* name = new QTableWidgetItem(text.left(eq));
        name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        // Letters out of the built-in order check only those that come in sequence.
        const bool shown = p < set.size() && set[p] == all[row];
        p += shown;
        name->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
        auto* description = new QTableWidgetItem(text.mid(eq + 1));
        description->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        colList_->insertRow(static_cast<int>(row));
        colList_->setItem(static_cast<int>(row), 0, name);
        colList_->setItem(static_cast<int>(row), 1, description);
    }
    colList_->setUpdatesEnabled(true);
}

void TQuilOptBox::ColListClick()
{
    // The Name column can't be switched off.
    if (QTableWidgetItem* name = colList_->item(0, 0))
        name->setCheckState(Qt::Checked);
    edited_ = true;
}

void TQuilOptBox::OKBtnClick()
{
    if (edited_)
        UpdateConfig();
    accept();
}

void TQuilOptBox::HelpBtnClick() { form_.ShowHelpContext(kHelpOptions); }

void TQuilOptBox::UpdateConfig()
{
    Key settings;
    if (Key::Create(Hive::CurrentUser, kSettingsKey, settings) == Success) {
        const int menu = menuGroup_->checkedId();
        settings.WriteBool("MenuSave", menu == mcSameAsLastShutdown);
        if (menu == mcAlwaysShow)
            settings.WriteBool("MenuShow", true);
        else if (menu == mcNeverShow)
            settings.WriteBool("MenuShow", false);
    }
    settings.Close();

    if (contextGroup_->checkedId() == ccInclude)
        WriteShellIntegration(true);
    else if (contextGroup_->checkedId() == ccDoNotInclude)
        WriteShellIntegration(false);

    TwekShortcutListView* list = form_.ShortcutList();
    list->SetOpenRunsDefaultAction(defActionGroup_->checkedId() == daSystemDefault);
    std::string columns;
    for (int row = 0; row < colList_->rowCount(); ++row)
        if (colList_->item(row, 0)->checkState() == Qt::Checked)
            columns += static_cast<char>('a' + row);
    list->SetColumnSet(columns);
    list->RequestRead();
}

void TQuilOptBox::WriteShellIntegration(bool include)
{
    if (include) {
        // A path that can't be offered to the desktop gets no command at all.
        if (!platform::IsOfferableProgramPath(programPath_))
            return;
        const std::string command = platform::FolderCommandLine(programPath_);
        for (const char* base : kShellKeys) {
            Key key;
            if (Key::Create(Hive::ClassesRoot, base, key) == Success)
                key.WriteString("", kCommandCaption);
            key.Close();
            if (Key::Create(Hive::ClassesRoot, std::string(base) + "\\command", key) == Success)
                key.WriteString("", command);
        }
        // The keys say what the desktop offers: where it can't be offered, they go again.
        Key written;
        if (Key::Open(Hive::ClassesRoot, kFolderCommandKey, written) == Success &&
            platform::AddFolderHandler(programPath_))
            return;
    }
    for (const char* base : kShellKeys) {
        Key root;
        if (Key::Open(Hive::ClassesRoot, "", root) != Success)
            return;
        root.DeleteSubKey(std::string(base) + "\\command");
        root.DeleteSubKey(base);
    }
    platform::RemoveFolderHandler();
}
