#pragma once
// A fresh, empty working folder with a `logs/` sub-folder (where the event log goes). The
// constructor creates it under the system's temporary folder and makes it the current
// directory; the destructor restores the previous current directory and deletes the folder
// with everything in it. Failures end the test with a fatal GoogleTest failure message.
// Not for concurrent use: the current directory is process-wide.
#include <filesystem>
#include <string>

namespace lumi::test {

class TempWorkFolder {
public:
    TempWorkFolder();
    ~TempWorkFolder();
    TempWorkFolder(const TempWorkFolder&) = delete;
    TempWorkFolder& operator=(const TempWorkFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The absolute UTF-8 path of `relative` inside the folder.
    std::string File(const std::string& relative) const;

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

}  // namespace lumi::test
