// The checked atomic writer: whole or not at all, on a full disk too, and
// never through a link it was not asked to follow.
#include "tests/support/test_support.h"

#include "platform/atomic_file.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using platform::AtomicWriteStep;
using platform::writeFileAtomically;
using testsupport::readFile;

void put(const std::string &path, const std::string &text) {
    std::string why;
    ASSERT_TRUE(writeFileAtomically(path, text, &why)) << why;
}

// The names in a folder, so that a temporary file left behind shows.
QStringList entries(const std::string &folder) {
    return QDir(QString::fromStdString(folder)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// A failure at any step keeps the old file whole and leaves no temporary
// file; the reason is the system's own words. A failed flush of the folder
// comes after the rename: the new file is there, and the caller is told
// it may not survive a crash.
TEST(AtomicFile, AFailureAtAnyStepKeepsTheOldFile) {
    struct Case {
        AtomicWriteStep step;
        int error;
    } cases[] = {{AtomicWriteStep::Create, EACCES}, {AtomicWriteStep::Write, ENOSPC}, {AtomicWriteStep::Sync, EIO},
                 {AtomicWriteStep::Close, EDQUOT},  {AtomicWriteStep::Rename, EXDEV}};
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.step));
        testsupport::TempDir tmp;
        const std::string path = tmp.file("kept.json");
        put(path, "the old file");
        platform::setAtomicWriteFaultForTesting([&](AtomicWriteStep s) { return s == c.step ? c.error : 0; });
        std::string why;
        EXPECT_FALSE(writeFileAtomically(path, "the new file", &why));
        platform::setAtomicWriteFaultForTesting({});
        EXPECT_EQ(why, strerror(c.error));
        EXPECT_EQ(readFile(path), "the old file");
        EXPECT_EQ(entries(tmp.path()), QStringList{"kept.json"});
    }
    testsupport::TempDir tmp;
    const std::string path = tmp.file("flushed.json");
    platform::setAtomicWriteFaultForTesting([](AtomicWriteStep s) { return s == AtomicWriteStep::SyncFolder ? EIO : 0; });
    std::string why;
    EXPECT_FALSE(writeFileAtomically(path, "new", &why));
    platform::setAtomicWriteFaultForTesting({});
    EXPECT_EQ(why, std::string("written, but the folder could not be flushed: ") + strerror(EIO));
    EXPECT_EQ(readFile(path), "new");
}

// A real full file system: the data does not fit, the old file stays.
TEST(AtomicFile, AFullFileSystemKeepsTheOldFile) {
    testsupport::SmallFileSystem fs(64);
    if (!fs.mounted()) GTEST_SKIP() << fs.whyNot();
    const std::string path = fs.file("picture.png");
    put(path, std::string(8000, 'o'));
    fs.fill(4096);
    std::string why;
    EXPECT_FALSE(writeFileAtomically(path, std::string(32000, 'n'), &why));
    EXPECT_EQ(why, strerror(ENOSPC));
    EXPECT_EQ(readFile(path), std::string(8000, 'o'));
    EXPECT_EQ(entries(fs.path()), (QStringList{"filler", "picture.png"}));
}

// A link at the destination is refused unless the caller asks to follow
// it; followed, the file it names is replaced and the link stays. A link
// planted by another user in a shared sticky folder is never followed.
TEST(AtomicFile, LinksAreFollowedOnlyWhenAskedAndNeverAStrangersInASharedFolder) {
    testsupport::TempDir tmp;
    const std::string target = tmp.file("target"), link = tmp.file("link");
    put(target, "precious");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    std::string why;
    EXPECT_FALSE(writeFileAtomically(link, "over", &why));
    EXPECT_EQ(why, "it is a symbolic link (not followed)");
    EXPECT_EQ(readFile(target), "precious");

    platform::AtomicWriteOptions follow;
    follow.followLink = true;
    EXPECT_TRUE(writeFileAtomically(link, "through", &why, follow)) << why;
    EXPECT_EQ(readFile(target), "through");
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    if (geteuid() != 0) GTEST_SKIP() << "a link owned by another user needs root to make";
    const std::string shared = tmp.file("shared"), planted = shared + "/planted";
    ASSERT_EQ(mkdir(shared.c_str(), 01777), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    ASSERT_EQ(chown(shared.c_str(), 0, 0), 0);
    ASSERT_EQ(symlink(target.c_str(), planted.c_str()), 0);
    ASSERT_EQ(lchown(planted.c_str(), 4321, 4321), 0);
    EXPECT_FALSE(writeFileAtomically(planted, "hijacked", &why, follow));
    EXPECT_EQ(why, "it is a symbolic link in a shared folder, owned by another user (not followed)");
    EXPECT_EQ(readFile(target), "through");
}

// A replaced file keeps its permissions; a FIFO is written in place when
// the caller allows streams, and refused otherwise.
TEST(AtomicFile, PermissionsStayAndStreamsAreWrittenInPlace) {
    testsupport::TempDir tmp;
    const std::string path = tmp.file("private");
    put(path, "a");
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    put(path, "b");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    const std::string fifo = tmp.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string why;
    EXPECT_FALSE(writeFileAtomically(fifo, "x", &why));
    EXPECT_EQ(why, "it is not a regular file");
    std::string got;
    std::thread reader([&] { got = readFile(fifo); });
    platform::AtomicWriteOptions streams;
    streams.streamsInPlace = true;
    EXPECT_TRUE(writeFileAtomically(fifo, "through the pipe", &why, streams)) << why;
    reader.join();
    EXPECT_EQ(got, "through the pipe");
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

}  // namespace
