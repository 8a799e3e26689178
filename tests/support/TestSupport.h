#pragma once
// Helpers shared by the test suites.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// A fresh folder under $TMPDIR, removed with everything in it when destroyed.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; } // no trailing "/"
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

// Sets an environment variable for the lifetime of the object, then restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ScopedEnv(const char* name, std::nullptr_t); // unsets it
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

void WriteFile(const std::string& path, std::string_view bytes);
std::string ReadFile(const std::string& path);
void MakeDirs(const std::string& path);

// The shared test corpus folder (../shared/corpus beside the project), or "" when
// it is absent (a user's own clone); tests then skip with a message.
std::string CorpusDir();

// Runs the program with arguments, capturing stdout and stderr; returns the exit status.
struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};
RunResult RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& env = {});
// The same for another program, qm_gio_probe (QM_GIO_PROBE) say.
RunResult RunProgramAt(const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& env = {});

} // namespace testsupport

// Skips the current test when the shared corpus is missing.
#define QM_REQUIRE_CORPUS(dirVar)                                                            \
    const std::string dirVar = ::testsupport::CorpusDir();                                   \
    if (dirVar.empty())                                                                      \
        GTEST_SKIP() << "the shared corpus (../shared/corpus beside the project) is absent"
