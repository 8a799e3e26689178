#pragma once
// The shell's file work as the user meets it: a file job (platform/fileops) run on
// a thread of its own, with the platform's windows on the GUI thread: the delete
// confirmation, the name-conflict dialog, the question before deleting for good,
// a progress window once the job has run about half a second, and one message when
// it fails.
//
// The verbs start one each and return at once; the GUI thread never waits for the
// job. Connect to Finished to learn what was done (after a move, JobResult::done
// lists the sources that moved). The object deletes itself after Finished.
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/fileops/JobTypes.h"
#include "platform/util/Tasks.h"

class QDialog;
class QWidget;

namespace platform {

namespace fileops {
class FileJob;
}
class FileProgressWindow;

class FileOperation : public QObject {
    Q_OBJECT
public:
    // "paste": copies, or moves when the files were cut, into `destination`.
    static FileOperation* Paste(std::vector<std::string> sources, bool cut, std::string destination, QWidget* owner);
    // "pastelink": a shortcut to each source in `destination`.
    static FileOperation* PasteShortcut(std::vector<std::string> sources, std::string destination, QWidget* owner);
    // "link": a shortcut beside each source.
    static FileOperation* CreateShortcut(std::vector<std::string> sources, QWidget* owner);
    // "delete": asks, then moves to the trash.
    static FileOperation* Delete(std::vector<std::string> sources, QWidget* owner);
    static FileOperation* Start(fileops::JobRequest request, QWidget* owner);

    ~FileOperation() override;

    void Cancel();
    bool IsRunning() const { return running_; }
    const fileops::JobRequest& Request() const { return request_; }
    // The window the operation's questions and progress belong to (null once gone).
    QWidget* Owner() const;
    // How long a job runs before its progress window shows (500 ms).
    void SetProgressDelay(int ms) { progressDelayMs_ = ms; }
    FileProgressWindow* ProgressWindow() const;

signals:
    // On the GUI thread, once.
    void Finished(const platform::fileops::JobResult& result);

private:
    class Bridge;

    FileOperation(fileops::JobRequest request, QWidget* owner);
    void Ask(const fileops::JobQuestion& question, std::function<void(fileops::JobReply)> reply);
    void ShowQuestion(QDialog* dialog, bool holdsProgressBack, std::function<fileops::JobReply(int)> answerOf,
                      std::function<void(fileops::JobReply)> reply);
    void OnFinished(const fileops::JobResult& result);
    void Tick();

    fileops::JobRequest request_;
    QPointer<QWidget> owner_;
    tasks::Inbox inbox_; // what the job's thread hands back
    std::shared_ptr<Bridge> bridge_;
    std::unique_ptr<fileops::FileJob> job_;
    QTimer ticker_;
    QElapsedTimer sinceStart_;
    int progressDelayMs_ = 500;
    int confirmationsOpen_ = 0; // while the user decides whether to start, no progress shows
    fileops::JobProgress latest_;
    QPointer<FileProgressWindow> progress_;
    std::vector<QPointer<QDialog>> questions_;
    bool running_ = true;
};

// Tells of each file operation as it starts, on the GUI thread: a window learns so
// what the jobs it started did (connect to the operation's Finished), whichever
// command or verb started them.
class FileOperationStarts : public QObject {
    Q_OBJECT
public:
    static FileOperationStarts& Instance();

signals:
    void Started(platform::FileOperation* operation);
};

} // namespace platform

Q_DECLARE_METATYPE(platform::fileops::JobResult)
