#include "tests/support/sheet_fixture.h"

#include <QFile>

#include "framework/prefs_reader.h"
#include "platform/log.h"

#include <cstdlib>

namespace testsupport {

SheetFixture::SheetFixture() = default;
SheetFixture::~SheetFixture() = default;

void SheetFixture::SetUp() {
    setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    platform::setLogProgramName("test");
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string domain = std::string("org.somnel.test.") + test->test_suite_name() + "." + test->name();
    // The reader warns about "-nodef", whose resource has no default.
    captureStderr([&] { reader_ = std::make_unique<PrefsReader>(domain, mergedRows(), kHackDefaults); });
}

std::string SheetFixture::write(const std::string &xml) {
    const std::string path = dir_.file("saver.xml");
    QFile f(QString::fromStdString(path));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path;
    f.write(xml.data(), qint64(xml.size()));
    return path;
}

std::unique_ptr<SomnelConfigSheet> SheetFixture::create(const std::string &path) {
    return SomnelConfigSheet::create(path, mergedRows(), reader_->userDefaultsController(), &reader_->defaultOptions());
}

}  // namespace testsupport
