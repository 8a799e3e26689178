#include "platform/ui/FileOperation.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <mutex>

#include "platform/fileops/FileJob.h"
#include "platform/fileops/JobDelegate.h"
#include "platform/shell/FsAccess.h"
#include "platform/ui/ConflictDialog.h"
#include "platform/ui/FileProgressWindow.h"

namespace platform {

using namespace fileops;

namespace {

constexpr int kTickMs = 100;

} // namespace

// The worker's side of the job, hand-off only. Progress is kept for the GUI's timer
// to pick up (a busy job would otherwise flood the event queue); questions and the
// end are posted to the FileOperation, or answered Cancel once it is gone (a question
// posted as it goes is answered by the job's cancel).
class FileOperation::Bridge final : public JobDelegate {
public:
    Bridge(FileOperation* op, tasks::Outbox outbox) : op_(op), outbox_(std::move(outbox)) {}

    bool TakeProgress(JobProgress& out)
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!fresh_)
            return false;
        out = latest_;
        fresh_ = false;
        return true;
    }

    void Progress(const JobProgress& progress) override
    {
        std::lock_guard<std::mutex> hold(lock_);
        latest_ = progress;
        fresh_ = true;
    }

    void Ask(const JobQuestion& question, std::function<void(JobReply)> reply) override
    {
        if (outbox_.IsClosed()) {
            reply(JobReply{});
            return;
        }
        outbox_.Post([op = op_, question, reply] { op->Ask(question, reply); });
    }

    void Finished(const JobResult& result) override
    {
        outbox_.Post([op = op_, result] { op->OnFinished(result); });
    }

private:
    FileOperation* const op_; // used only by what the outbox posts
    tasks::Outbox outbox_;
    std::mutex lock_;
    JobProgress latest_;
    bool fresh_ = false;
};

FileOperation* FileOperation::Paste(std::vector<std::string> sources, bool cut, std::string destination, QWidget* owner)
{
    return Start(JobRequest::Paste(std::move(sources), cut, std::move(destination)), owner);
}

FileOperation* FileOperation::PasteShortcut(std::vector<std::string> sources, std::string destination, QWidget* owner)
{
    return Start(JobRequest::PasteShortcut(std::move(sources), std::move(destination)), owner);
}

FileOperation* FileOperation::CreateShortcut(std::vector<std::string> sources, QWidget* owner)
{
    return Start(JobRequest::CreateShortcut(std::move(sources)), owner);
}

FileOperation* FileOperation::Delete(std::vector<std::string> sources, QWidget* owner)
{
    return Start(JobRequest::Delete(std::move(sources)), owner);
}

FileOperation* FileOperation::Start(JobRequest request, QWidget* owner)
{
    auto* operation = new FileOperation(std::move(request), owner);
    emit FileOperationStarts::Instance().Started(operation);
    return operation;
}

FileOperationStarts& FileOperationStarts::Instance()
{
    static FileOperationStarts* instance = new FileOperationStarts;
    return *instance;
}

// Owned by the application, so that quitting cancels a job still running and its
// partial file is removed.
FileOperation::FileOperation(JobRequest request, QWidget* owner)
    : QObject(QCoreApplication::instance()), request_(request), owner_(owner),
      inbox_([this](std::function<void()> fn) { QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection); }),
      bridge_(std::make_shared<Bridge>(this, inbox_.Address()))
{
    qRegisterMetaType<JobResult>();
    job_ = std::make_unique<FileJob>(std::move(request), bridge_);
    connect(&ticker_, &QTimer::timeout, this, &FileOperation::Tick);
    ticker_.start(kTickMs);
    sinceStart_.start();
    job_->Start();
}

FileProgressWindow* FileOperation::ProgressWindow() const { return progress_; }

QWidget* FileOperation::Owner() const { return owner_; }

FileOperation::~FileOperation()
{
    inbox_.Close();
    for (const QPointer<QDialog>& dialog : questions_)
        delete dialog.data();
    delete progress_.data();
    job_.reset();
}

void FileOperation::Cancel()
{
    if (job_)
        job_->Cancel();
}

void FileOperation::Tick()
{
    if (!running_)
        return;
    const bool fresh = bridge_->TakeProgress(latest_);
    if (!progress_ && confirmationsOpen_ == 0 && sinceStart_.elapsed() >= progressDelayMs_) {
        progress_ = new FileProgressWindow(request_.kind, request_.destination, owner_);
        connect(progress_, &FileProgressWindow::CancelRequested, this, &FileOperation::Cancel);
        progress_->Update(latest_);
        progress_->show();
    } else if (fresh && progress_) {
        progress_->Update(latest_);
    }
}

void FileOperation::Ask(const JobQuestion& q, std::function<void(JobReply)> reply)
{
    if (!running_ || job_->IsCancelled()) {
        reply(JobReply{});
        return;
    }
    const QString name = DisplayName(q.source);
    switch (q.kind) {
    case QuestionKind::Conflict: {
        auto* dialog = new ConflictDialog(q, owner_);
        ShowQuestion(dialog, false, [dialog](int) { return dialog->Reply(); }, std::move(reply));
        break;
    }
    case QuestionKind::ConfirmTrash: {
        const QString text =
            q.count == 1 ? tr("Are you sure you want to move '%1' to the Trash?").arg(name)
                         : tr("Are you sure you want to move these %1 items to the Trash?").arg(q.count);
        const QString title = q.count == 1 ? (q.sourceFacts.isFolder ? tr("Delete Folder") : tr("Delete File"))
                                           : tr("Delete Multiple Items");
        auto* box = new QMessageBox(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, owner_);
        box->setObjectName("confirmTrashBox");
        box->setDefaultButton(QMessageBox::Yes);
        ShowQuestion(
            box, true,
            [box](int) {
                return JobReply{box->standardButton(box->clickedButton()) == QMessageBox::Yes ? Choice::Yes
                                                                                              : Choice::Cancel};
            },
            std::move(reply));
        break;
    }
    case QuestionKind::DeletePermanently: {
        const QString text = tr("'%1' cannot be moved to the Trash: its file system has none.\n"
                                "Do you want to delete it permanently?")
                                 .arg(name);
        auto* box = new QMessageBox(QMessageBox::Warning, tr("Delete Permanently"), text,
                                    QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::Cancel,
                                    owner_);
        box->setObjectName("deletePermanentlyBox");
        box->setDefaultButton(QMessageBox::No);
        ShowQuestion(
            box, false,
            [box](int) {
                switch (box->standardButton(box->clickedButton())) {
                case QMessageBox::Yes:
                    return JobReply{Choice::Yes, false};
                case QMessageBox::YesToAll:
                    return JobReply{Choice::Yes, true};
                case QMessageBox::No:
                    return JobReply{Choice::Skip, false};
                default:
                    return JobReply{};
                }
            },
            std::move(reply));
        break;
    }
    case QuestionKind::LinkOnDesktop: {
        const QString text = tr("A shortcut cannot be created in '%1'.\n"
                                "Do you want the shortcut to be placed on the desktop instead?")
                                 .arg(DisplayName(std::string(shell::fs::ParentOf(q.source))));
        auto* box = new QMessageBox(QMessageBox::Question, tr("Create Shortcut"), text,
                                    QMessageBox::Yes | QMessageBox::No, owner_);
        box->setObjectName("linkOnDesktopBox");
        box->setDefaultButton(QMessageBox::Yes);
        ShowQuestion(
            box, true,
            [box](int) {
                const auto button = box->standardButton(box->clickedButton());
                return JobReply{button == QMessageBox::Yes ? Choice::Yes
                                : button == QMessageBox::No ? Choice::Skip
                                                            : Choice::Cancel};
            },
            std::move(reply));
        break;
    }
    }
}

// Every question is answered exactly once: by its buttons, or with Cancel when it
// goes away unanswered (the job ended, the owner window closed).
void FileOperation::ShowQuestion(QDialog* dialog, bool holdsProgressBack, std::function<JobReply(int)> answerOf,
                                 std::function<void(JobReply)> reply)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(owner_ ? Qt::WindowModal : Qt::ApplicationModal);
    auto answered = std::make_shared<bool>(false);
    if (holdsProgressBack)
        ++confirmationsOpen_;
    const auto settle = [this, answered, holdsProgressBack, reply](JobReply answer) {
        if (*answered)
            return;
        *answered = true;
        reply(answer);
        if (holdsProgressBack) {
            --confirmationsOpen_;
            sinceStart_.restart();
        }
    };
    connect(dialog, &QDialog::finished, this, [settle, answerOf](int result) { settle(answerOf(result)); });
    connect(dialog, &QObject::destroyed, this, [settle] { settle(JobReply{}); });
    questions_.emplace_back(dialog);
    dialog->open();
}

void FileOperation::OnFinished(const JobResult& result)
{
    running_ = false;
    ticker_.stop();
    for (const QPointer<QDialog>& dialog : questions_) {
        if (dialog)
            dialog->close();
    }
    questions_.clear();
    if (progress_) {
        progress_->hide();
        progress_->deleteLater();
    }
    emit Finished(result);
    if (result.error.empty()) {
        deleteLater();
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, QGuiApplication::applicationDisplayName(),
                                QString::fromStdString(result.error), QMessageBox::Ok, owner_);
    box->setObjectName("fileErrorBox");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(owner_ ? Qt::WindowModal : Qt::ApplicationModal);
    connect(box, &QDialog::finished, this, &QObject::deleteLater);
    box->open();
}

} // namespace platform
