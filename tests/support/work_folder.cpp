#include "tests/support/work_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <system_error>

namespace lumi::test {

TempWorkFolder::TempWorkFolder() : previous_(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumi-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a temporary folder from " << pattern;
        return;
    }
    path_ = pattern;
    std::error_code error;
    std::filesystem::create_directory(path_ / "logs", error);
    if (!error) std::filesystem::current_path(path_, error);
    if (error) ADD_FAILURE() << "cannot prepare " << path_ << ": " << error.message();
}

TempWorkFolder::~TempWorkFolder() {
    std::error_code error;
    std::filesystem::current_path(previous_, error);
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
}

std::string TempWorkFolder::File(const std::string& relative) const { return (path_ / relative).string(); }

}  // namespace lumi::test
