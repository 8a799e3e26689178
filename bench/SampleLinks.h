#pragma once
// Link images for the benchmarks that read many links: the real-world links of the
// shared corpus when it is there, else links made with the platform's writer.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/shelllink/ShellLink.h"

namespace bench {

inline std::string ReadWhole(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// Real-world links when the corpus is there; otherwise eight made by the writer.
inline std::vector<std::string> SampleLinks()
{
    std::vector<std::string> samples;
    const std::string corpus = std::string(QM_SHARED_DIR) + "/corpus/lnk-peer";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(corpus, ec))
        if (entry.path().extension() == ".lnk")
            samples.push_back(ReadWhole(entry.path()));
    if (!samples.empty())
        return samples;
    for (int i = 0; i < 8; ++i) {
        platform::ShellLink link;
        link.SetPath("C:\\Program Files\\Vendor " + std::to_string(i) + "\\Application\\app" + std::to_string(i) + ".exe");
        link.SetWorkingDirectory("C:\\Program Files\\Vendor " + std::to_string(i) + "\\Application");
        link.SetArguments(i % 2 ? "--profile default" : "");
        link.SetDescription("Starts application number " + std::to_string(i));
        link.SetIconLocation("%SystemRoot%\\system32\\shell32.dll", i);
        link.SetShowCmd(i % 3 ? 1 : 7);
        const auto bytes = link.SaveToBytes();
        samples.emplace_back(bytes.begin(), bytes.end());
    }
    return samples;
}

} // namespace bench
