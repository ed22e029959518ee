#include "mime/SaveNames.h"

#include "platform/ContentTypes.h"
#include "platform/Utf8.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

using namespace std::string_literals;

class SaveNamesTest : public ::testing::Test {
protected:
    void SetUp() override { LoadContentTypeTable("image/png png\napplication/pdf pdf\n"); }
    void TearDown() override { LoadSystemContentTypeTable(); }

    void Add(const std::string& name, const std::string& mediaType = "") { files_.Add(name).MediaType = mediaType; }
    std::vector<std::string> Names() const { return AttachmentSaveNames(files_); }

    TAttachedFiles files_;
};

TEST_F(SaveNamesTest, RepeatedNamesGetANumberBeforeTheExtension) {
    Add("report.pdf");
    Add("report.pdf");
    Add("report.pdf");
    Add("noext");
    Add("noext");
    Add(".profile");
    Add(".profile");
    EXPECT_EQ(Names(), (std::vector<std::string>{"report.pdf", "report (2).pdf", "report (3).pdf", "noext", "noext (2)",
                                                 "_.profile", "_ (2).profile"}));
}

TEST_F(SaveNamesTest, NumberedNamesNeverClashWithGivenOnes) {
    Add("a.txt");
    Add("a (2).txt");
    Add("a.txt");
    Add("a (2).txt");
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "a (2).txt", "a (3).txt", "a (2) (2).txt"}));
}

TEST_F(SaveNamesTest, EmptyNamesAreMadeFromPositionAndMediaType) {
    Add("x.pdf");
    Add("", "image/png");
    Add("", "application/x-unknown");
    Add("");
    Add("", "IMAGE/PNG");
    Add("attachment-2.png");
    EXPECT_EQ(Names(), (std::vector<std::string>{"x.pdf", "attachment-2.png", "attachment-3.bin", "attachment-4.bin",
                                                 "attachment-5.png", "attachment-2 (2).png"}));
}

TEST_F(SaveNamesTest, NamesAreSafeOnLinux) {
    Add("a/b\x01"
        "c.txt");
    Add(".");
    Add("..");
    Add("caf\xE9.txt");
    Add("tab\there\x7F");
    EXPECT_EQ(Names(), (std::vector<std::string>{"a_b_c.txt", "attachment-2.bin", "attachment-3.bin", "caf\xC3\xA9.txt",
                                                 "tab_here_"}));
}

TEST_F(SaveNamesTest, LongNamesAreCutAtACharacterBoundaryKeepingTheExtension) {
    std::string stem;
    for (int i = 0; i < 150; ++i) stem += "\xC3\xA9";
    Add(stem + ".txt");
    Add(stem + ".txt");
    Add(std::string(300, 'x'));
    std::vector<std::string> names = Names();
    ASSERT_EQ(names.size(), 3u);
    for (const std::string& name : names) {
        EXPECT_LE(name.size(), kMaxSaveNameBytes);
        EXPECT_TRUE(IsValidUtf8(name));
    }
    EXPECT_TRUE(names[0].ends_with("\xC3\xA9.txt"));
    EXPECT_EQ(names[0].size(), 254u);  // 125 two-byte characters and ".txt"
    EXPECT_TRUE(names[1].ends_with(" (2).txt"));
    EXPECT_NE(names[0], names[1]);
    EXPECT_EQ(names[2], std::string(255, 'x'));
}

TEST_F(SaveNamesTest, NoItemsNoNames) { EXPECT_TRUE(Names().empty()); }

}  // namespace
}  // namespace brindle
