// The build's check of a saver bundle (scripts/check_saver.cpp): a sound
// bundle passes in silence; each slip gives its one line, and with
// --remove-on-failure the library is gone, so that the next build links
// and checks it again.
#include "tests/support/test_support.h"

#include <QFile>

#include <string>

namespace {

using CheckRun = testsupport::ProgramRun;

CheckRun check(const std::string &args) { return testsupport::run(CHECK_SAVER, args); }

std::string testSaverLibrary(const std::string &name) { return testsupport::testSaver(name) + "/" + name + ".so"; }

TEST(CheckSaver, ASoundBundlePassesInSilence) {
    const CheckRun r = check("'" + testSaverLibrary("Tester") + "' Tester SomnelTesterView");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}

TEST(CheckSaver, EachSlipGivesItsLine) {
    const std::string lib = "'" MISMATCH_LIBRARY "' ";
    struct Case {
        std::string args, line;
    } cases[] = {
        {lib + "Unexported SomnelMismatchView",
         "error: Mismatch.so exports no \"unexported_somnel_function_table\": define the saver's function table "
         "under that name, at file scope (outside any C++ namespace), in a source that includes "
         "\"somnel/somnel_function_table.h\"\n"},
        {lib + "Misnamed SomnelOtherView",
         "error: Mismatch.so exports no \"SomnelOtherView_create\": write SOMNEL_PRINCIPAL_CLASS(SomnelOtherView, "
         "SOMNEL_2D_VIEW or SOMNEL_GL_VIEW); at file scope in one source (\"somnel/principal.h\"), with the class "
         "named as PRINCIPAL says\n"},
        {lib + "Misnamed SomnelMismatchView",
         "error: Mismatch.so has a function table whose class \"Other\" is not the bundle's name \"Misnamed\" in "
         "any letter case: the view would look for other.xml and keep the preferences of \"Other\"; name the "
         "class \"Misnamed\" (or the bundle \"Other\")\n"},
    };
    for (const Case &c : cases) {
        const CheckRun r = check(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err, c.line);
    }
    EXPECT_TRUE(QFile::exists(MISMATCH_LIBRARY)) << "removed without being asked to";
}

TEST(CheckSaver, AFailedLibraryIsRemovedWhenAsked) {
    testsupport::TempDir tmp;
    const std::string copy = tmp.file("Mismatch.so");
    ASSERT_TRUE(QFile::copy(MISMATCH_LIBRARY, QString::fromStdString(copy)));
    EXPECT_EQ(check("--remove-on-failure '" + copy + "' Unexported SomnelMismatchView").status, 1);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(copy)));
}

}  // namespace
