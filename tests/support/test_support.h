// Shared helpers for the test programs.
#pragma once

#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace testsupport {

// A fresh temporary folder, removed when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Everything written to standard error while fn runs.
std::string captureStderr(const std::function<void()> &fn);

// The reason of the InternalInconsistencyException that fn raises, or
// "<no exception>" when it returns normally.
std::string abortReason(const std::function<void()> &fn);

// Path of a file in tests/data.
std::string dataFile(const std::string &name);

}  // namespace testsupport
