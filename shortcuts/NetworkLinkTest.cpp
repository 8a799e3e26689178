#include "shortcuts/NetworkLinkTest.h"

#include <algorithm>

#include "shortcuts/ItemProp.h"
#include "shortcuts/WorkerChannel.h"

struct TNetworkLinkTest::TMountRun {
    std::string Mount;
    std::vector<TLink> Links;
    std::unique_ptr<TWorkerChannel> Channel;
    QTimer Watchdog;
    bool Over = false;
};

TNetworkLinkTest::TNetworkLinkTest(std::vector<TLink> links, int limitMs, QObject* parent)
    : QObject(parent), limitMs_(limitMs)
{
    for (TLink& link : links) {
        auto it = std::find_if(runs_.begin(), runs_.end(), [&](const auto& run) { return run->Mount == link.Mount; });
        if (it == runs_.end()) {
            runs_.push_back(std::make_unique<TMountRun>());
            runs_.back()->Mount = link.Mount;
            it = runs_.end() - 1;
        }
        (*it)->Links.push_back(std::move(link));
    }
}

TNetworkLinkTest::~TNetworkLinkTest()
{
    for (const auto& run : runs_)
        if (run->Channel)
            run->Channel->Close();
}

void TNetworkLinkTest::Start()
{
    if (runs_.empty()) {
        done_ = true;
        emit Done();
        return;
    }
    for (const auto& run : runs_) {
        TMountRun* r = run.get();
        r->Watchdog.setSingleShot(true);
        connect(&r->Watchdog, &QTimer::timeout, this, [this, r] { EndRun(r, false); });
        r->Watchdog.start(limitMs_);
        r->Channel = std::make_unique<TWorkerChannel>(this);
        r->Channel->Start(
            r->Mount,
            [this, r, links = r->Links](const platform::tasks::Outbox& outbox) {
                for (const TLink& link : links) {
                    if (outbox.IsClosed())
                        return;
                    const bool resolves = TestShellLink(link.Path);
                    outbox.Post([this, r, name = link.Name, resolves] { Answer(r, name, resolves); });
                }
                outbox.Post([this, r] { EndRun(r, true); });
            },
            [this, r] { EndRun(r, false); });
    }
}

void TNetworkLinkTest::GiveUp()
{
    for (const auto& run : runs_)
        if (!run->Over)
            EndRun(run.get(), false);
}

void TNetworkLinkTest::Answer(TMountRun* run, const std::string& name, bool resolves)
{
    results_[name] = resolves;
    run->Watchdog.start(limitMs_); // the mount answers: it gets its time again
}

void TNetworkLinkTest::EndRun(TMountRun* run, bool answered)
{
    if (run->Over)
        return;
    run->Over = true;
    run->Watchdog.stop();
    if (!answered) {
        run->Channel->GiveUp();
        unanswered_.push_back(run->Mount);
        for (const TLink& link : run->Links)
            if (!results_.count(link.Name))
                untested_.push_back(link.Name);
    }
    if (done_ || std::any_of(runs_.begin(), runs_.end(), [](const auto& r) { return !r->Over; }))
        return;
    done_ = true;
    emit Done();
}
