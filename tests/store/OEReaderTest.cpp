// Format detection by the bare reader and the FILETIME conversion.
#include "StoreTestSupport.h"
#include "store/DBXReader.h"
#include "store/MBXReader.h"

#include <gtest/gtest.h>

#include <fstream>

namespace brindle {
namespace {

using test::ErrorOf;
using test::TMemoryFiles;

struct DetectionCase {
    const char* name;
    std::string bytes;
    uint8_t kind;
    const char* error;
};

class DetectionTest : public ::testing::TestWithParam<DetectionCase> {};

TEST_P(DetectionTest, KindComesFromTheFirstFourBytes) {
    const DetectionCase& c = GetParam();
    TMemoryFiles files;
    files.Set("/f", c.bytes);
    TOEReader reader;
    files.Install(reader);
    EXPECT_EQ(ErrorOf([&] { reader.Open("/f"); }), c.error);
    EXPECT_EQ(reader.FileKind(), c.kind);
    EXPECT_FALSE(reader.Loaded());
    EXPECT_EQ(reader.FileName(), "/f");
}

INSTANTIATE_TEST_SUITE_P(
    Files, DetectionTest,
    ::testing::Values(DetectionCase{"Oe4Magic", "JMF6", kFileKindOE4, ""},
                      DetectionCase{"Oe4MagicWithJunk", std::string("JMF6\0\xff junk", 10), kFileKindOE4, ""},
                      DetectionCase{"Oe5Magic", "\xCF\xAD\x12\xFE", kFileKindOE5, ""},
                      DetectionCase{"Oe5MagicWithJunk", "\xCF\xAD\x12\xFEwhatever", kFileKindOE5, ""},
                      DetectionCase{"IndexFileIsNoStore", "JMF9....", kFileKindUnknown, ""},
                      DetectionCase{"MagicByteOrderMatters", "\xFE\x12\xAD\xCF", kFileKindUnknown, ""},
                      DetectionCase{"UnixMailbox", "From someone@example.org", kFileKindUnknown, ""},
                      DetectionCase{"Empty", "", kFileKindUnknown, "Stream read error"},
                      DetectionCase{"ThreeBytes", "JMF", kFileKindUnknown, "Stream read error"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DetectionTest, MissingFileFailsWithTheOpenErrorAndNoKind) {
    TOEReader reader;
    TMemoryFiles().Install(reader);
    EXPECT_EQ(ErrorOf([&] { reader.Open("/no/such.dbx"); }), "Cannot open file /no/such.dbx");
    EXPECT_EQ(reader.FileKind(), kFileKindUnknown);
}

TEST(DetectionTest, RealFileSystemIsTheDefault) {
    TOEReader reader;
    EXPECT_EQ(ErrorOf([&] { reader.Open("/nonexistent/dir/Inbox.dbx"); }),
              "Cannot open file /nonexistent/dir/Inbox.dbx");
    const std::string corpusStore = std::string(BRINDLE_CORPUS) + "/dbx/mtdbx_test.dbx";
    if (!std::ifstream(corpusStore)) GTEST_SKIP() << "corpus not present";
    reader.Open(corpusStore);
    EXPECT_EQ(reader.FileKind(), kFileKindOE5);
}

TEST(DetectionTest, OpeningAgainStartsOver) {
    TMemoryFiles files;
    files.Set("/a", "\xCF\xAD\x12\xFE");
    files.Set("/b", "nothing");
    TOEReader reader;
    files.Install(reader);
    reader.Open("/a");
    ASSERT_EQ(reader.FileKind(), kFileKindOE5);
    reader.Open("/b");
    EXPECT_EQ(reader.FileKind(), kFileKindUnknown);
    EXPECT_EQ(reader.FileName(), "/b");
}

TEST(DetectionTest, FourByteOe4FileFailsInTheConcreteReader) {
    TMemoryFiles files;
    files.Set("/Inbox.mbx", "JMF6");
    TMBXReader reader;
    files.Install(reader);
    EXPECT_EQ(ErrorOf([&] { reader.Open("/Inbox.mbx"); }), "Stream read error");
    EXPECT_EQ(reader.FileKind(), kFileKindOE4);
    EXPECT_FALSE(reader.Loaded());
}

TEST(DetectionTest, BareReaderAnswersEmpty) {
    TOEReader reader;
    EXPECT_EQ(reader.GetMessageCount(), 0);
    EXPECT_EQ(reader.GetFolderName(), "");
    EXPECT_EQ(reader.GetMessageInfo(-1), TMessageInfo{});
    EXPECT_EQ(reader.GetMessageInfo(0), TMessageInfo{});
}

// ---- FileTimeToDateTime ----------------------------------------------------------------------

constexpr uint64_t kIntervalsPerDay = 864000000000;
constexpr uint64_t kIntervalsPerSecond = 10000000;

struct FileTimeCase {
    const char* name;
    uint64_t fileTime;
    double expected;
};

class FileTimeTest : public ::testing::TestWithParam<FileTimeCase> {};

TEST_P(FileTimeTest, ConvertsInUtc) { EXPECT_NEAR(FileTimeToDateTime(GetParam().fileTime), GetParam().expected, 1e-9); }

// Day numbers: 1899-12-30 is day 0, 1970-01-01 day 25569, 1601-01-01 day -109205.
INSTANTIATE_TEST_SUITE_P(
    Values, FileTimeTest,
    ::testing::Values(FileTimeCase{"Zero", 0, -109205.0},
                      FileTimeCase{"NoonOfTheFirstDay", kIntervalsPerDay / 2, -109205.0 + 0.5},
                      FileTimeCase{"DayZero", 109205 * kIntervalsPerDay, 0.0},
                      FileTimeCase{"UnixEpoch", testsupport::FileTimeOf(1970, 1, 1), 25569.0},
                      FileTimeCase{"HalfPastTwelve", testsupport::FileTimeOf(2002, 4, 14, 12, 30), 37360.0 + 12.5 / 24},
                      FileTimeCase{"UnixSeconds", 116444736000000000 + 1473634712 * kIntervalsPerSecond,
                                   25569.0 + 1473634712.0 / 86400},
                      FileTimeCase{"SubMillisecondsAreDropped", testsupport::FileTimeOf(2020, 1, 1) + 9999, 43831.0},
                      FileTimeCase{"MillisecondsCount", testsupport::FileTimeOf(2020, 1, 1) + 10000,
                                   43831.0 + 1.0 / 86400000},
                      FileTimeCase{"LastMomentOfYear9999", testsupport::FileTimeOf(9999, 12, 31, 23, 59, 59) + 9990000,
                                   2958465.0 + 86399.999 / 86400},
                      FileTimeCase{"Year10000IsUnknown",
                                   testsupport::FileTimeOf(9999, 12, 31) + kIntervalsPerDay * 3 / 2, 0.0},
                      FileTimeCase{"TwoToThe63", uint64_t{1} << 63, 0.0}, FileTimeCase{"Largest", UINT64_MAX, 0.0}),
    [](const auto& info) { return std::string(info.param.name); });

// Values past the year 9999 (the largest below 2^63 lies in the year 30828) are unknown, not
// a time of day on 1899-12-30.
TEST(FileTimeTest, LastValueBelowTwoToThe63IsUnknown) {
    for (uint64_t value : {(uint64_t{1} << 63) - 1, uint64_t{0x7FFFFFFFFFFF0000}, uint64_t{0x4000000000000000}})
        EXPECT_EQ(FileTimeToDateTime(value), 0.0) << value;
}

}  // namespace
}  // namespace brindle
