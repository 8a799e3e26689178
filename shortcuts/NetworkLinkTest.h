#pragma once
// The part of the shortcut test that would look at network mounts, run off the
// window's thread: a server that went away would otherwise freeze the window for as
// long as the call waits, perhaps for ever. One worker per mount tests that mount's
// links one after the other. A mount that gives no answer within the limit (from the
// start, or from its previous answer) is taken as gone: its links stay untested, its
// worker is left to itself, and the test ends without it.
#include <QObject>
#include <QTimer>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TWorkerChannel;

class TNetworkLinkTest : public QObject {
    Q_OBJECT
public:
    struct TLink {
        std::string Name;  // the row's name
        std::string Path;  // the link file
        std::string Mount; // the mount point the test looks at
    };
    TNetworkLinkTest(std::vector<TLink> links, int limitMs, QObject* parent = nullptr);
    ~TNetworkLinkTest() override;

    void Start();
    // Ends the test now: the mounts still being asked count as not answering.
    void GiveUp();

    // The answers: row name -> whether the link resolves.
    const std::map<std::string, bool>& Results() const { return results_; }
    // The mounts that did not answer, in the order they were given up.
    const std::vector<std::string>& Unanswered() const { return unanswered_; }
    // The row names of the links those mounts left without an answer.
    const std::vector<std::string>& Untested() const { return untested_; }

signals:
    // Every mount answered for all its links or was given up.
    void Done();

private:
    struct TMountRun;
    void Answer(TMountRun* run, const std::string& name, bool resolves);
    void EndRun(TMountRun* run, bool answered);

    std::vector<std::unique_ptr<TMountRun>> runs_;
    int limitMs_;
    std::map<std::string, bool> results_;
    std::vector<std::string> unanswered_;
    std::vector<std::string> untested_;
    bool done_ = false;
};
