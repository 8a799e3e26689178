// Delete: after one confirmation, each item goes to the freedesktop trash through
// GIO (the home trash, or the trash at the top of the item's volume, with its
// .trashinfo). An item on a file system without a trash is deleted for good only
// when the user says so.
#include <set>

#include "platform/fileops/GioHandles.h"
#include "platform/fileops/JobContext.h"
#include "platform/fileops/TreeOps.h"

namespace platform::fileops {

void RunTrash(JobContext& ctx)
{
    std::vector<SourceItem> items;
    std::set<std::string> seen;
    for (const std::string& path : ctx.Request().sources) {
        if (seen.insert(path).second)
            items.push_back(OpenSource(ctx, path, "delete"));
    }
    if (items.empty())
        return;

    JobQuestion confirm;
    confirm.kind = QuestionKind::ConfirmTrash;
    confirm.source = items.front().path;
    confirm.count = items.size();
    if (ctx.Ask(confirm).choice != Choice::Yes) {
        g_cancellable_cancel(ctx.Cancellable());
        throw JobStopped{};
    }

    ctx.Progress().filesTotal = items.size();
    std::optional<JobReply> deleteForGood;
    for (const SourceItem& item : items) {
        ctx.StopIfCancelled();
        ctx.Progress().currentPath = item.path;
        ctx.ReportProgress();
        GObjectPtr<GFile> file(g_file_new_for_path(item.path.c_str()));
        GError* raw = nullptr;
        const bool trashed = g_file_trash(file.get(), ctx.Cancellable(), &raw);
        GErrorPtr error(raw);
        if (trashed) {
            ctx.Result().done.push_back(item.path);
        } else if (g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
            throw JobStopped{};
        } else if (g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED)) {
            JobReply reply;
            if (deleteForGood) {
                reply = *deleteForGood;
            } else {
                JobQuestion q;
                q.kind = QuestionKind::DeletePermanently;
                q.source = item.path;
                reply = ctx.Ask(q);
                if (reply.applyToAll)
                    deleteForGood = reply;
            }
            if (reply.choice == Choice::Yes &&
                RemoveEntry(ctx, item.parent.Get(), item.name, item.path, "delete", RemoveMode::StopOnError,
                            [](const struct stat&) { return true; }))
                ctx.Result().done.push_back(item.path);
        } else {
            ctx.FailWith(item.path, "Cannot move '" + DisplayPath(item.path) + "' to the Trash: " +
                                        (error ? error->message : "unknown error") + ".");
        }
        ++ctx.Progress().filesDone;
    }
}

} // namespace platform::fileops
