#include "shortcuts/NewFolder.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/fileops/NewNames.h"

int MakeNumberedFolder(const std::string& folder, std::string_view name, std::string& made, int tries)
{
    for (int n = 1; n <= tries; ++n) {
        std::string candidate = platform::fileops::NumberedName(name, true, n);
        if (::mkdir((folder + candidate).c_str(), 0777) == 0) {
            made = std::move(candidate);
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}
