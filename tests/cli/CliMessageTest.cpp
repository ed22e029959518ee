// show and attachments on .eml files: recognising them, reading them, decoding and saving.
#include "CliTestSupport.h"
#include "cli/Sha256.h"
#include "platform/Exceptions.h"
#include "platform/Utf8.h"
#include "store/EmlFile.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

using test::CorpusHas;
using test::CorpusPath;
using test::ReadFile;
using test::RunTool;
using test::TTempDir;
using test::WriteFile;

// The member names of a pretty-printed JSON object whose members stand at the given depth.
std::vector<std::string> KeysAtDepth(const std::string& json, size_t depth, size_t maxKeys) {
    std::vector<std::string> keys;
    std::string indent(depth * 2, ' ');
    std::istringstream lines(json);
    for (std::string line; std::getline(lines, line) && keys.size() < maxKeys;) {
        if (line.rfind(indent + "\"", 0) != 0) continue;
        size_t end = line.find("\": ", indent.size() + 1);
        if (end != std::string::npos) keys.push_back(line.substr(indent.size() + 1, end - indent.size() - 1));
    }
    return keys;
}

TEST(EmlFile, RecognisedByExtensionInAnyCase) {
    struct Case {
        const char* path;
        bool eml;
    };
    const Case cases[] = {
        {"message.eml", true},   {"message.EML", true}, {"dir/x.Eml", true}, {".eml", true},
        {"message.emlx", false}, {"message", false},    {"eml", false},      {"a.eml/inbox", false},
        {"a.eml.dbx", false},    {"x.em", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsEmlFileName(c.path), c.eml) << c.path;
}

TEST(EmlFile, OpensTheBytesUnchanged) {
    TTempDir dir;
    const std::string cases[] = {"A: 1\nB: 2\n\nbody", "A: 1\rB: 2\r\rbody\r\n",
                                 std::string("A: 1\r\n\r\nbo\0dy\r\n", 15), ""};
    for (const auto& bytes : cases) {
        WriteFile(dir / "m.eml", bytes);
        EXPECT_EQ(OpenEmlFile(dir / "m.eml")->All(), bytes);
    }
    EXPECT_THROW(OpenEmlFile(dir / "missing.eml"), EFOpenError);
}

constexpr const char* kPlainMessage =
    "From: Alice <alice@example.net>\r\n"
    "To: Bob <bob@example.net>\r\n"
    "Subject: a test message\r\n"
    "Date: Thu, 07 Jul 2016 13:06:00 -0400\r\n"
    "Message-ID: <1@example.net>\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "\r\n"
    "Here is the test.\r\n";

TEST(CliShow, PrintsFieldsBodyAndAttachmentCount) {
    TTempDir dir;
    WriteFile(dir / "plain.eml", kPlainMessage);
    auto run = RunTool({"show", dir / "plain.eml"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("From: Alice <alice@example.net>\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Subject: a test message\n"), std::string::npos);
    EXPECT_NE(run.out.find("Date: Thu, 07 Jul 2016 13:06:00 -0400\n"), std::string::npos);
    EXPECT_NE(run.out.find("\nTo: "), std::string::npos);
    EXPECT_NE(run.out.find("bob@example.net"), std::string::npos);
    EXPECT_NE(run.out.find("\nCC: \n"), std::string::npos);
    EXPECT_NE(run.out.find("\nHere is the test.\n"), std::string::npos);
    EXPECT_NE(run.out.find("\nAttachments: 0\n"), std::string::npos);
}

TEST(CliShow, JsonHasExactlyTheListedKeys) {
    TTempDir dir;
    std::string message =
        "From: a@b.c\r\nSubject: with file\r\nContent-Type: multipart/mixed; boundary=\"XX\"\r\n\r\n"
        "--XX\r\nContent-Type: text/plain\r\n\r\nhello\r\n"
        "--XX\r\nContent-Type: application/pdf; name=\"doc.pdf\"\r\nContent-Transfer-Encoding: base64\r\n"
        "Content-ID: <part1@x>\r\n\r\nJVBERi0xLjQK\r\n--XX--\r\n";
    WriteFile(dir / "m.eml", message);
    auto run = RunTool({"show", dir / "m.eml", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(KeysAtDepth(run.out, 1, 100),
              (std::vector<std::string>{"From", "Sender", "ReplyTo", "SendTo", "CC", "Subject", "Date", "MessageID",
                                        "InReplyTo", "ReturnPath", "ContentType", "ContentTransferEncoding", "Text",
                                        "Attachments"}));
    EXPECT_EQ(KeysAtDepth(run.out, 3, 100),
              (std::vector<std::string>{"FileName", "ContentType", "Size", "SHA256", "ContentID", "MediaType"}));
    EXPECT_NE(run.out.find("\"FileName\": \"doc.pdf\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"Size\": 9"), std::string::npos);
    EXPECT_NE(run.out.find("\"SHA256\": \"" + Sha256Hex("%PDF-1.4\n") + "\""), std::string::npos);
    EXPECT_NE(run.out.find("\"ContentType\": \"MULTIPART/MIXED\""), std::string::npos);
    EXPECT_NE(run.out.find("    \"hello\""), std::string::npos);
}

TEST(CliShow, FileKindDecidesTheOperands) {
    TTempDir dir;
    WriteFile(dir / "Message.EmL", kPlainMessage);
    WriteFile(dir / "message.emlx", kPlainMessage);
    WriteFile(dir / "message", kPlainMessage);

    EXPECT_EQ(RunTool({"show", dir / "Message.EmL"}).status, 0);
    auto withIndex = RunTool({"show", dir / "Message.EmL", "0"});
    EXPECT_EQ(withIndex.status, 2);
    EXPECT_TRUE(withIndex.err.starts_with("brindle-cli: ")) << withIndex.err;

    // Without the .eml extension a file is probed as a store, and needs an index.
    EXPECT_EQ(RunTool({"show", dir / "message.emlx"}).status, 2);
    for (std::string name : {"message.emlx", "message"}) {
        auto run = RunTool({"show", dir / name, "0"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "brindle-cli: File is not in supported format.\n");
        EXPECT_EQ(run.out, "");
    }
    auto missing = RunTool({"show", dir / "none.eml"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "brindle-cli: Cannot open file " + (dir / "none.eml") + "\n");
}

TEST(CliAttachments, SavesDecodedBytesUnderUniqueNames) {
    if (!CorpusHas("codec/mimekit-encoders/photo.b64")) GTEST_SKIP() << "corpus absent";
    std::string photo = ReadFile(CorpusPath("codec/mimekit-encoders/photo.jpg"));
    std::string base64 = ReadFile(CorpusPath("codec/mimekit-encoders/photo.b64"));
    std::string message =
        "From: a@b.c\r\nSubject: photos\r\nContent-Type: multipart/mixed; boundary=\"BB\"\r\n\r\n"
        "--BB\r\nContent-Type: text/plain\r\n\r\nthree photos\r\n"
        "--BB\r\nContent-Type: image/jpeg; name=\"photo.jpg\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
        base64 + "--BB\r\nContent-Type: image/jpeg; name=\"photo.jpg\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
        base64 + "--BB\r\nContent-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n\r\n" + base64 + "--BB--\r\n";
    TTempDir dir;
    WriteFile(dir / "photos.eml", message);
    std::string out = dir / "out";
    std::filesystem::create_directory(out);

    auto run = RunTool({"attachments", dir / "photos.eml", out});
    ASSERT_EQ(run.status, 0) << run.err;
    auto files = test::FilesIn(out);
    ASSERT_EQ(files.size(), 3u) << run.out;
    EXPECT_EQ(files["photo.jpg"], photo);
    EXPECT_EQ(files["photo (2).jpg"], photo);
    ASSERT_TRUE(files.count("attachment-3.png")) << run.out;
    EXPECT_EQ(files["attachment-3.png"], photo);
    EXPECT_EQ(run.out, out + "/photo.jpg\n" + out + "/photo (2).jpg\n" + out + "/attachment-3.png\n");

    auto json = RunTool({"show", "--json", dir / "photos.eml"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"SHA256\": \"4f60a9dbc20beccc740ee6717e3d2da765235f2ebf9a78654e878fbb68c53317\""),
              std::string::npos);
    EXPECT_NE(json.out.find("\"Size\": 130292"), std::string::npos);
}

TEST(CliAttachments, CorpusDuplicateNames) {
    if (!CorpusHas("eml/mime-explode-testmsgs/dup-names.msg")) GTEST_SKIP() << "corpus absent";
    TTempDir dir;
    WriteFile(dir / "dup.eml", ReadFile(CorpusPath("eml/mime-explode-testmsgs/dup-names.msg")));
    auto run = RunTool({"attachments", dir / "dup.eml", dir.Path()});
    ASSERT_EQ(run.status, 0) << run.err;
    auto files = test::FilesIn(dir.Path());
    for (const char* name : {"one.gif", "one (2).gif", "two.nice.gif", "two.nice (2).gif", "two.nice (3).gif"}) {
        ASSERT_TRUE(files.count(name)) << name << "\n" << run.out;
        EXPECT_TRUE(files[name].starts_with("GIF8")) << name;
    }
}

TEST(CliAttachments, FolderThatCannotTakeFiles) {
    TTempDir dir;
    std::string message =
        "Content-Type: multipart/mixed; boundary=\"XX\"\r\n\r\n--XX\r\nContent-Type: application/pdf; "
        "name=\"doc.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n--XX--\r\n";
    WriteFile(dir / "m.eml", message);
    // One missing level is made; two are not.
    auto run = RunTool({"attachments", dir / "m.eml", dir / "missing/deeper"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "brindle-cli: Cannot create file " + (dir / "missing/deeper") + "\n");
}

// Every message of the corpus is shown without a crash, as valid UTF-8, with exit 0 or a
// reported error.
TEST(CliShow, EveryCorpusMessage) {
    if (!CorpusHas("eml")) GTEST_SKIP() << "corpus absent";
    TTempDir dir;
    size_t shown = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(CorpusPath("eml"))) {
        if (!entry.is_regular_file()) continue;
        std::string copy = dir / "m.eml";
        std::filesystem::copy_file(entry.path(), copy, std::filesystem::copy_options::overwrite_existing);
        for (bool json : {false, true}) {
            auto run = json ? RunTool({"show", copy, "--json"}) : RunTool({"show", copy});
            if (run.status == 0) {
                ++shown;
                EXPECT_TRUE(IsValidUtf8(run.out)) << entry.path();
            } else {
                EXPECT_EQ(run.status, 1) << entry.path();
                EXPECT_TRUE(run.err.starts_with("brindle-cli: ")) << entry.path();
            }
        }
    }
    EXPECT_GT(shown, 100u);
}

}  // namespace
}  // namespace brindle
