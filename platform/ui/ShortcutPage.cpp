#include "platform/ui/ShortcutPage.h"

#include <sys/stat.h>

#include <QComboBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/drivemap/DriveMap.h"
#include "platform/icons/SystemIconList.h"
#include "platform/ui/HotkeyEdit.h"
#include "platform/ui/IconPicker.h"
#include "platform/ui/PathText.h"
#include "platform/ui/PathWithin.h"
#include "platform/util/Text.h"

namespace platform::ui {
namespace {

// The Run choices and the show commands they store: the shell writes
// SW_SHOWMINNOACTIVE for "Minimized".
constexpr int kShowCommands[] = {1, 7, 3};

int RunIndexOf(int showCommand)
{
    switch (showCommand) {
    case 3: return 2;
    case 2: case 6: case 7: return 1;
    default: return 0;
    }
}

QString Text(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }
std::string Utf8(const QString& text) { return TextToBytes(text); }

// The kinds of file whose own icons a link shows.
bool HoldsIcons(const std::string& path)
{
    for (const char* ext : {".exe", ".dll", ".cpl", ".scr", ".ico"}) {
        const std::size_t n = std::char_traits<char>::length(ext);
        if (path.size() > n && EqualsIgnoreAsciiCase(std::string_view(path).substr(path.size() - n), ext))
            return true;
    }
    return false;
}

} // namespace

ShortcutPage::ShortcutPage(const std::string& path, std::function<void(const std::string&)> showFolder,
                           QWidget* parent)
    : EditorPage(path, parent), showFolder_(std::move(showFolder))
{
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    icon_ = new QLabel(this);
    icon_->setObjectName("icon");
    icon_->setFixedSize(SystemIconList::kLargeSize, SystemIconList::kLargeSize);
    SystemIconList& icons = SystemIconList::Instance();
    icon_->setPixmap(icons.Pixmap(icons.IndexForPath(path), SystemIconList::kLargeSize));
    top->addWidget(icon_);
    top->addWidget(new QLabel(BytesToText(FileNameOf(path)), this), 1);
    layout->addLayout(top);
    note_ = new QLabel(this);
    note_->setObjectName("note");
    note_->setWordWrap(true);
    layout->addWidget(note_);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    auto* form = new QFormLayout;
    auto edit = [&](const char* name, const QString& label) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        form->addRow(label, e);
        connect(e, &QLineEdit::textEdited, this, &EditorPage::Changed);
        return e;
    };
    target_ = edit("target", tr("&Target:"));
    arguments_ = edit("arguments", tr("&Arguments:"));
    startIn_ = edit("startIn", tr("&Start in:"));
    hotkey_ = new HotkeyEdit(this);
    hotkey_->setObjectName("hotkey");
    form->addRow(tr("Shortcut &key:"), hotkey_);
    connect(hotkey_, &HotkeyEdit::HotkeyChanged, this, &EditorPage::Changed);
    run_ = new QComboBox(this);
    run_->setObjectName("run");
    run_->addItems({tr("Normal window"), tr("Minimized"), tr("Maximized")});
    form->addRow(tr("&Run:"), run_);
    connect(run_, &QComboBox::activated, this, &EditorPage::Changed);
    comment_ = edit("comment", tr("C&omment:"));
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    openLocation_ = new QPushButton(tr("Open &File Location"), this);
    changeIcon_ = new QPushButton(tr("&Change Icon..."), this);
    changeIcon_->setObjectName("changeIcon");
    openLocation_->setObjectName("openLocation");
    buttons->addWidget(openLocation_);
    buttons->addWidget(changeIcon_);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addStretch(1);
    connect(openLocation_, &QPushButton::clicked, this, &ShortcutPage::OpenFileLocation);
    connect(changeIcon_, &QPushButton::clicked, this, &ShortcutPage::ChangeIcon);

    // Where a link is mended: the target is what the user came to change.
    setFocusProxy(target_);
    Start();
    if (Editor().Damaged())
        for (QWidget* w : std::initializer_list<QWidget*>{target_, arguments_, startIn_, hotkey_, run_, comment_, changeIcon_})
            w->setEnabled(false);
}

void ShortcutPage::Fill(const ShortcutValues& v)
{
    note_->setText(Note());
    note_->setVisible(!Note().isEmpty());
    target_->setText(Text(v.target));
    arguments_->setText(Text(v.arguments));
    startIn_->setText(Text(v.workingDirectory));
    hotkey_->SetHotkey(v.hotkey);
    runAtStart_ = RunIndexOf(v.showCommand);
    run_->setCurrentIndex(runAtStart_);
    comment_->setText(Text(v.description));
    iconChoice_ = v.icon;
}

ShortcutEdits ShortcutPage::Edits() const
{
    const ShortcutValues& v = AtStart();
    ShortcutEdits e;
    auto changed = [](const QLineEdit* edit, const std::string& was, std::optional<std::string>& out) {
        const std::string now = Utf8(edit->text());
        if (now != was)
            out = now;
    };
    changed(target_, v.target, e.target);
    changed(arguments_, v.arguments, e.arguments);
    changed(startIn_, v.workingDirectory, e.workingDirectory);
    changed(comment_, v.description, e.description);
    if (hotkey_->Hotkey() != v.hotkey)
        e.hotkey = hotkey_->Hotkey();
    if (run_->currentIndex() != runAtStart_)
        e.showCommand = kShowCommands[run_->currentIndex()];
    if (!(iconChoice_ == v.icon))
        e.icon = iconChoice_;
    return e;
}

QLineEdit* ShortcutPage::FieldEdit(EditField field) const
{
    switch (field) {
    case EditField::Target: return target_;
    case EditField::WorkingDirectory: return startIn_;
    case EditField::None: break;
    }
    return nullptr;
}

void ShortcutPage::OpenFileLocation()
{
    const std::string raw = Utf8(target_->text());
    std::optional<std::string> host;
    if (!raw.empty() && raw.front() == '/')
        host = raw;
    else
        host = DriveMap::Default().ToHostPath(WinEnvironment::Default().Expand(raw));
    const PathLookUp target = host ? LookUpWithin(*host, true) : PathLookUp{};
    if (!target.answered) {
        QMessageBox::warning(this, tr("Open File Location"),
                             tr("%1 does not answer.").arg(BytesToText(target.mountPoint)));
        return;
    }
    if (!target.exists) {
        QMessageBox::warning(this, tr("Open File Location"),
                             tr("The target \"%1\" cannot be found.").arg(target_->text()));
        return;
    }
    const std::string folder = FolderOf(*host);
    if (showFolder_)
        showFolder_(folder);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(BytesToText(folder)));
}

void ShortcutPage::ChangeIcon()
{
    ShortcutIcon choice = iconChoice_;
    // A link without an icon of its own shows its program's: the picker starts there.
    if (choice.location.empty() && HoldsIcons(Utf8(target_->text())))
        choice = {Utf8(target_->text()), 0};
    QPixmap picture;
    if (!PickIcon(this, choice.location, choice.index, &picture) || choice == iconChoice_)
        return;
    iconChoice_ = choice;
    // The page shows the choice at once, before it is saved.
    if (!picture.isNull())
        icon_->setPixmap(picture.scaled(icon_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    emit Changed();
}

} // namespace platform::ui
