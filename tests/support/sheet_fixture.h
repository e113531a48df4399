// A configuration sheet's test: the shared hack rows and defaults behind a
// preference reader whose domain and configuration folder are the test's
// own, and sheets built from description text.
#pragma once

#include "tests/support/hack_rows.h"
#include "tests/support/test_support.h"

#include "framework/sheet/somnel_config_sheet.h"

#include <memory>
#include <string>

class PrefsReader;  // framework/prefs_reader.h, for the tests that use it

namespace testsupport {

class SheetFixture : public ::testing::Test {
protected:
    SheetFixture();
    ~SheetFixture() override;
    void SetUp() override;

    // Writes the description into saver.xml in the test's folder; its path.
    std::string write(const std::string &xml);
    // The sheet over the test's reader, from a description file.
    std::unique_ptr<SomnelConfigSheet> create(const std::string &path);
    // The sheet from description text.
    std::unique_ptr<SomnelConfigSheet> build(const std::string &xml) { return create(write(xml)); }

    TempDir dir_;
    std::unique_ptr<PrefsReader> reader_;
};

}  // namespace testsupport
