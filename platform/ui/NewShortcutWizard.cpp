#include "platform/ui/NewShortcutWizard.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWizardPage>

#include "platform/drivemap/DriveMap.h"
#include "platform/ui/PathText.h"

namespace platform::ui {
namespace {

class LocationPage : public QWizardPage {
public:
    explicit LocationPage(NewShortcutWizard* wizard) : QWizardPage(wizard), wizard_(wizard)
    {
        setTitle(NewShortcutWizard::tr("What item would you like to create a shortcut for?"));
        setSubTitle(NewShortcutWizard::tr("This wizard helps you to create shortcuts to programs, files, folders, "
                                          "computers or Internet addresses."));
        auto* layout = new QVBoxLayout(this);
        auto* label = new QLabel(NewShortcutWizard::tr("&Type the location of the item:"), this);
        layout->addWidget(label);
        auto* row = new QHBoxLayout;
        location_ = new QLineEdit(this);
        location_->setObjectName("location");
        label->setBuddy(location_);
        auto* browse = new QPushButton(NewShortcutWizard::tr("B&rowse..."), this);
        row->addWidget(location_, 1);
        row->addWidget(browse);
        layout->addLayout(row);
        auto* hint = new QLabel(NewShortcutWizard::tr("A Windows path (C:\\Program Files\\...), a path on this "
                                                      "computer (/usr/bin/...) or an address (https://...)."),
                                this);
        hint->setWordWrap(true);
        layout->addWidget(hint);
        layout->addStretch(1);
        connect(location_, &QLineEdit::textChanged, this, &QWizardPage::completeChanged);
        connect(browse, &QPushButton::clicked, this, [this] {
            const QString file = QFileDialog::getOpenFileName(this, NewShortcutWizard::tr("Browse"),
                                                              BytesToText(wizard_->Folder()));
            if (!file.isEmpty())
                location_->setText(file);
        });
    }
    bool isComplete() const override { return !location_->text().trimmed().isEmpty(); }
    bool validatePage() override { return wizard_->LocationAccepted(location_->text()); }

private:
    NewShortcutWizard* wizard_;
    QLineEdit* location_;
};

} // namespace

class NamePage : public QWizardPage {
public:
    explicit NamePage(NewShortcutWizard* wizard) : QWizardPage(wizard), wizard_(wizard)
    {
        setTitle(NewShortcutWizard::tr("What would you like to name the shortcut?"));
        auto* layout = new QVBoxLayout(this);
        auto* label = new QLabel(NewShortcutWizard::tr("T&ype a name for this shortcut:"), this);
        layout->addWidget(label);
        wizard->name_ = new QLineEdit(this);
        wizard->name_->setObjectName("name");
        label->setBuddy(wizard->name_);
        layout->addWidget(wizard->name_);
        auto* hint = new QLabel(NewShortcutWizard::tr("Click Finish to create the shortcut."), this);
        layout->addWidget(hint);
        layout->addStretch(1);
        connect(wizard->name_, &QLineEdit::textChanged, this, &QWizardPage::completeChanged);
        setFinalPage(true);
    }
    void initializePage() override
    {
        // The folder as the user names it: without the "/" that ends a folder path.
        std::string folder = wizard_->Folder();
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        setSubTitle(NewShortcutWizard::tr("The shortcut is made in %1.").arg(BytesToText(folder)));
        // The name offered is free: numbered when the plain one is taken.
        const ShortcutLocation& loc = wizard_->Location();
        const std::string file = FreeShortcutName(
            wizard_->Folder(), ShortcutFileName(SuggestShortcutName(loc), loc.kind));
        wizard_->name_->setText(BytesToText(file.substr(0, file.rfind('.'))));
        wizard_->name_->selectAll();
    }
    bool isComplete() const override { return !wizard_->name_->text().trimmed().isEmpty(); }
    bool validatePage() override { return wizard_->NameAccepted(wizard_->name_->text()); }

private:
    NewShortcutWizard* wizard_;
};

NewShortcutWizard::NewShortcutWizard(std::string folder, QWidget* parent) : QWizard(parent), folder_(std::move(folder))
{
    setWindowTitle(tr("Create Shortcut"));
    setWizardStyle(QWizard::ModernStyle);
    setOption(QWizard::NoBackButtonOnStartPage);
    addPage(new LocationPage(this));
    addPage(new NamePage(this));
    resize(520, 380);
}

bool NewShortcutWizard::LocationAccepted(const QString& text)
{
    location_ = ClassifyLocation(TextToBytes(text), DriveMap::Default(), WinEnvironment::Default());
    if (location_.problem.empty())
        return true;
    QMessageBox::warning(this, windowTitle(), QString::fromStdString(location_.problem));
    return false;
}

bool NewShortcutWizard::NameAccepted(const QString& text)
{
    std::string file = ShortcutFileName(TextToBytes(text), location_.kind);
    if (file.empty()) {
        QMessageBox::warning(this, windowTitle(), tr("\"%1\" cannot be a file's name.").arg(text.trimmed()));
        return false;
    }
    for (;;) {
        const std::string path = (folder_.ends_with('/') ? folder_ : folder_ + "/") + file;
        const EditResult r = CreateShortcut(path, location_, DriveMap::Default(), WinEnvironment::Default());
        if (r.Ok()) {
            created_ = path;
            return true;
        }
        if (r.status != EditStatus::Exists) {
            QMessageBox::warning(this, windowTitle(),
                                 tr("Could not create \"%1\": %2.").arg(BytesToText(file), QString::fromStdString(r.message)));
            return false;
        }
        const std::string free = FreeShortcutName(folder_, file);
        const auto answer = QMessageBox::question(
            this, windowTitle(),
            tr("A file named \"%1\" exists already.\n\nName the new shortcut \"%2\"?").arg(BytesToText(file), BytesToText(free)),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer != QMessageBox::Yes || free == file)
            return false;
        file = free;
        name_->setText(BytesToText(file.substr(0, file.rfind('.'))));
    }
}

} // namespace platform::ui
