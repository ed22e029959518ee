#include "platform/ContentTypes.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace brindle {
namespace {

constexpr const char* kTable =
    "# comment line\n"
    "application/pdf\t\t\tpdf\n"
    "image/x-test tst tss   # trailing comment\n"
    "text/plain txt text\n"
    "application/gzip gz\n"
    "application/x-other tst\n"
    "type/without-extensions\n";

class ContentTypesTest : public ::testing::Test {
protected:
    void SetUp() override { LoadContentTypeTable(kTable); }
    void TearDown() override { LoadSystemContentTypeTable(); }
};

struct NameCase {
    std::string name;
    std::string type;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.type; }

class ContentTypeOfFileTest : public ContentTypesTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ContentTypeOfFileTest, LooksUpTheExtension) { EXPECT_EQ(ContentTypeOfFile(GetParam().name), GetParam().type); }

INSTANTIATE_TEST_SUITE_P(
    Table, ContentTypeOfFileTest,
    ::testing::Values(NameCase{"report.pdf", "application/pdf"}, NameCase{"REPORT.PDF", "application/pdf"},
                      NameCase{"a.tss", "image/x-test"},
                      NameCase{"a.tst", "image/x-test"},  // the first line naming an extension wins
                      NameCase{"archive.tar.gz", "application/gzip"}, NameCase{"C:\\dir.pdf\\notes.txt", "text/plain"},
                      NameCase{"dir.txt/noext", "application/octet-stream"},
                      NameCase{"noext", "application/octet-stream"},
                      NameCase{"x.unknownext", "application/octet-stream"},
                      NameCase{"trailing.", "application/octet-stream"}, NameCase{"", "application/octet-stream"}));

TEST_F(ContentTypesTest, ExtensionOfMediaTypeGivesTheFirstListedOne) {
    EXPECT_EQ(ExtensionOfMediaType("image/x-test"), ".tst");
    EXPECT_EQ(ExtensionOfMediaType(" IMAGE/X-Test ; q=1"), ".tst");
    EXPECT_EQ(ExtensionOfMediaType("type/without-extensions"), "");
    EXPECT_EQ(ExtensionOfMediaType("no/such"), "");
    EXPECT_EQ(ExtensionOfMediaType(""), "");
}

TEST_F(ContentTypesTest, BuiltInTableCoversCommonTypes) {
    LoadContentTypeTable("");
    EXPECT_EQ(ContentTypeOfFile("photo.JPG"), "image/jpeg");
    EXPECT_EQ(ContentTypeOfFile("page.htm"), "text/html");
    EXPECT_EQ(ContentTypeOfFile("x.unknownext"), "application/octet-stream");
    EXPECT_EQ(ExtensionOfMediaType("application/pdf"), ".pdf");
}

TEST(SystemContentTypesTest, ReadsTheSystemTable) {
    if (access("/etc/mime.types", R_OK) != 0) GTEST_SKIP() << "no /etc/mime.types";
    LoadSystemContentTypeTable();
    EXPECT_EQ(ContentTypeOfFile("a.pdf"), "application/pdf");
    EXPECT_EQ(ContentTypeOfFile("a.odt"), "application/vnd.oasis.opendocument.text");
    EXPECT_EQ(ContentTypeOfFile("x.unknownext"), "application/octet-stream");
    EXPECT_EQ(ExtensionOfMediaType("application/pdf"), ".pdf");
}

}  // namespace
}  // namespace brindle
