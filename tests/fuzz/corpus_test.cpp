// Every fuzz harness run over its corpus (the seeds, and each input a
// fuzzer once found failing), compiled with the normal compiler: a past
// finding that comes back fails here.
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <exception>
#include <ostream>
#include <string>

#define SOMNEL_FUZZ_HARNESSES(X) X(parse_time) X(colors) X(fonts) X(defaults_text) X(preferences) X(manifest) X(switch_to_resource) X(description)

#define DECLARE(name) extern "C" int somnel_fuzz_##name(const uint8_t *data, size_t size);
SOMNEL_FUZZ_HARNESSES(DECLARE)
#undef DECLARE

namespace {

struct Harness {
    const char *name;
    int (*run)(const uint8_t *, size_t);
};

#define ENTRY(name) Harness{#name, somnel_fuzz_##name},
const Harness kHarnesses[] = {SOMNEL_FUZZ_HARNESSES(ENTRY)};
#undef ENTRY

void PrintTo(const Harness &h, std::ostream *os) { *os << h.name; }

class FuzzCorpus : public ::testing::TestWithParam<Harness> {};

TEST_P(FuzzCorpus, EveryInputRunsClean) {
    const QDir dir(QString(SOMNEL_FUZZ_CORPUS) + "/" + GetParam().name);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty()) << "no corpus in " << dir.path().toStdString();
    for (const QString &name : files) {
        SCOPED_TRACE(name.toStdString());
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray data = f.readAll();
        // A failed property aborts the program, naming the check; an
        // exception that escapes is a finding too.
        try {
            EXPECT_EQ(GetParam().run(reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size())), 0);
        } catch (const std::exception &e) {
            ADD_FAILURE() << name.toStdString() << ": exception: " << e.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Harnesses, FuzzCorpus, ::testing::ValuesIn(kHarnesses),
                         [](const ::testing::TestParamInfo<Harness> &info) { return std::string(info.param.name); });

// Every corpus folder belongs to a harness compiled here.
TEST(FuzzCorpusFolders, EachHasAHarness) {
    for (const QString &folder : QDir(SOMNEL_FUZZ_CORPUS).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool found = false;
        for (const Harness &h : kHarnesses) found |= folder == h.name;
        EXPECT_TRUE(found) << folder.toStdString();
    }
}

}  // namespace
