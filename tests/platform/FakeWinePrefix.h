#pragma once
// A Wine prefix built in a temporary folder: dosdevices/ with drives, raw devices,
// ports and a dangling link, drive_c/users/ with a user's profile, and whatever
// registry files a test writes.
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "tests/support/TestSupport.h"

namespace testsupport {

class FakeWinePrefix {
public:
    explicit FakeWinePrefix(const std::string& userName = "alice")
        : prefix_(tmp_ / "prefix"), outside_(tmp_ / "outside")
    {
        MakeDirs(prefix_ + "/dosdevices");
        MakeDirs(prefix_ + "/drive_c/windows/system32");
        MakeDirs(prefix_ + "/drive_c/users/Public/Desktop");
        MakeDirs(prefix_ + "/drive_c/users/" + userName + "/Desktop");
        MakeDirs(outside_);
        WriteFile(tmp_ / "afile", "not a folder");
        Link("../drive_c", "c:");
        Link(outside_, "d:");
        Link("/dev/null", "d::");
        Link("/dev/ttyS0", "com1");
        Link("/dev/lp0", "lpt1");
        Link(tmp_ / "nowhere", "e:");
        Link(tmp_ / "afile", "f:");
        Link("/", "z:");
    }

    const std::string& Prefix() const { return prefix_; }
    const std::string& Outside() const { return outside_; } // the folder drive D: leads to
    std::string DriveC() const { return prefix_ + "/drive_c"; }
    const TempDir& Tmp() const { return tmp_; }

    void Link(const std::string& target, const std::string& name) const
    {
        if (::symlink(target.c_str(), (prefix_ + "/dosdevices/" + name).c_str()) != 0)
            throw std::runtime_error("symlink failed: " + name);
    }
    void WriteReg(const std::string& name, const std::string& text) const { WriteFile(prefix_ + "/" + name, text); }

private:
    TempDir tmp_;
    std::string prefix_;
    std::string outside_;
};

} // namespace testsupport
