#include "platform/verbs/FileWork.h"

namespace platform::verbs {
namespace {

class NoFileWork : public FileWork {
public:
    bool Paste(const std::vector<std::string>&, const std::string&, PasteMode, QWidget*,
               std::function<void(bool)>) override
    {
        return false;
    }
    bool CreateShortcuts(const std::vector<std::string>&, QWidget*) override { return false; }
    bool Trash(const std::vector<std::string>&, QWidget*) override { return false; }
};

std::shared_ptr<FileWork>& Installed()
{
    static std::shared_ptr<FileWork> work = std::make_shared<NoFileWork>();
    return work;
}

} // namespace

std::shared_ptr<FileWork> CurrentFileWork()
{
    return Installed();
}

void SetFileWork(std::shared_ptr<FileWork> work)
{
    Installed() = work ? std::move(work) : std::make_shared<NoFileWork>();
}

} // namespace platform::verbs
