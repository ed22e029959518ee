// TNEF attachments: the files they carry, in the attachment list after the winmail.dat, and
// damaged streams kept as they are with a warning; the names compared with the tnef tool.
#include "MimeTestSupport.h"
#include "TnefWriter.h"
#include "mime/Tnef.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>

namespace brindle {
namespace {

using testsupport::BuildTnef;
using testsupport::TTnefAttachment;
using testsupport::TTnefDate;
using testsupport::TTnefOptions;

int64_t UnixOf(const TTnefDate& date) {
    struct tm parts {};
    parts.tm_year = date.Year - 1900;
    parts.tm_mon = date.Month - 1;
    parts.tm_mday = date.Day;
    parts.tm_hour = date.Hour;
    parts.tm_min = date.Minute;
    parts.tm_sec = date.Second;
    return timegm(&parts);
}

const TTnefDate kMay{2003, 5, 17, 13, 45, 10};
const std::vector<TTnefAttachment> kFiles = {
    {"REPORT~1.DOC", std::string("\xD0\xCF\x11\xE0 doc\0bytes", 15), kMay, "Quarterly report.doc"},
    {"notes.txt", "first line\r\nsecond line\r\n", std::nullopt, std::nullopt},
    {"r\xE9sum\xE9.pdf", "%PDF", TTnefDate{1999, 12, 31, 23, 59, 59}, std::nullopt},
};

std::string MessageWithTnef(const std::string& tnef, const std::string& partHeaders) {
    return "From: a@example.org\nSubject: t\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"x\"\n\n"
           "--x\nContent-Type: text/plain\n\nbody\n--x\n" +
           partHeaders + "Content-Transfer-Encoding: base64\n\n" + test::Base64Lines(tnef) + "\n--x--\n";
}

TEST(TnefTest, UnpacksNamesDataAndDates) {
    const std::vector<TTnefFile> files = UnpackTnef(BuildTnef(kFiles));
    ASSERT_EQ(files.size(), kFiles.size());
    const std::vector<std::string> names = {"Quarterly report.doc", "notes.txt", "r\xC3\xA9sum\xC3\xA9.pdf"};
    for (size_t k = 0; k < files.size(); ++k) {
        EXPECT_EQ(files[k].Name, names[k]) << k;
        EXPECT_EQ(files[k].Data, kFiles[k].Data) << k;
        EXPECT_EQ(files[k].Modified, kFiles[k].Modified ? std::optional<int64_t>(UnixOf(*kFiles[k].Modified))
                                                        : std::nullopt)
            << k;
    }
    EXPECT_EQ(UnpackTnef(BuildTnef(kFiles), "windows-1251")[2].Name, "r\xD0\xB9sum\xD0\xB9.pdf");
}

// Declared by type or by name, the stream's files follow the winmail.dat, which stays.
TEST(TnefTest, MessageListsTheCarriedFilesAfterTheContainer) {
    const std::string tnef = BuildTnef(kFiles);
    for (const std::string& headers : {std::string("Content-Type: application/ms-tnef; name=\"winmail.dat\"\n"),
                                       std::string("Content-Type: application/octet-stream; name=\"WINMAIL.DAT\"\n"),
                                       std::string("Content-Type: application/vnd.ms-tnef\n")}) {
        const auto message = test::ParseMessage(MessageWithTnef(tnef, headers));
        ASSERT_EQ(message->AttachedFiles.Count(), 4u) << headers;
        EXPECT_EQ(message->AttachedFiles.Items(0).Data, tnef);
        EXPECT_TRUE(message->AttachedFiles.Items(0).Container.empty());
        EXPECT_EQ(message->AttachedFiles.Items(1).FileName, "Quarterly report.doc");
        EXPECT_EQ(message->AttachedFiles.Items(1).ContentType, "application/msword");
        EXPECT_FALSE(message->AttachedFiles.Items(1).Container.empty());
        EXPECT_EQ(message->AttachedFiles.Items(1).Modified, UnixOf(kMay));
        EXPECT_EQ(message->AttachedFiles.Items(2).Data, kFiles[1].Data);
        EXPECT_TRUE(message->Warnings.empty());
    }
}

TEST(TnefTest, DamagedStreamIsKeptWithAWarning) {
    const std::string whole = BuildTnef(kFiles);
    struct TCase {
        std::string What;
        std::string Bytes;
        std::string Expected;
    };
    const std::vector<TCase> cases = {
        {"signature", BuildTnef(kFiles, TTnefOptions{.Signature = 0x12345678}), "signature"},
        {"checksum", BuildTnef(kFiles, TTnefOptions{.BadChecksumOfData = 1}), "checksum"},
        {"cut inside data", whole.substr(0, whole.size() - 3), "past the end"},
        {"cut inside a head", whole.substr(0, 6 + 5), "cut short"},
        {"too short", whole.substr(0, 3), "signature"},
        {"unknown level", whole.substr(0, 6) + std::string(1, '\x07') + whole.substr(7), "level"},
    };
    for (const TCase& c : cases) {
        try {
            UnpackTnef(c.Bytes);
            ADD_FAILURE() << c.What << ": no error";
        } catch (const ETnefError& error) {
            EXPECT_NE(error.Message().find(c.Expected), std::string::npos) << c.What << ": " << error.Message();
        }
        const auto message =
            test::ParseMessage(MessageWithTnef(c.Bytes, "Content-Type: application/ms-tnef; name=\"winmail.dat\"\n"));
        ASSERT_EQ(message->AttachedFiles.Count(), 1u) << c.What;
        EXPECT_EQ(message->AttachedFiles.Items(0).Data, c.Bytes) << c.What;
        ASSERT_EQ(message->Warnings.size(), 1u) << c.What;
        EXPECT_NE(message->Warnings[0].find("winmail.dat"), std::string::npos) << message->Warnings[0];
    }
}

// Attributes the files do not need, or of odd sizes, never reach the library, which would tell
// them on standard output; the files still come out.
TEST(TnefTest, OddAttributesLeaveStandardOutputAlone) {
    const std::string good = BuildTnef({{"kept.bin", "kept", std::nullopt, std::nullopt}});
    auto attribute = [](uint8_t level, uint32_t id, const std::string& data) {
        std::string bytes(1, static_cast<char>(level));
        for (uint32_t value : {id, static_cast<uint32_t>(data.size())})
            for (int k = 0; k < 4; ++k) bytes += static_cast<char>(value >> (8 * k));
        bytes += data;
        uint16_t sum = 0;
        for (char c : data) sum = static_cast<uint16_t>(sum + static_cast<uint8_t>(c));
        bytes += static_cast<char>(sum & 0xFF);
        bytes += static_cast<char>(sum >> 8);
        return bytes;
    };
    const std::vector<std::string> extras = {
        attribute(2, 0x00018010, ""),                       // an empty title
        attribute(2, 0x00038013, "odd"),                    // a date of the wrong size
        attribute(1, 0x00069003, std::string(40, '\xFF')),  // message MAPI properties of garbage
        attribute(2, 0x12345678, "unknown"),
        attribute(1, 0x00038005, std::string(3, '\x01')),
    };
    for (const std::string& extra : extras) {
        testing::internal::CaptureStdout();
        const std::vector<TTnefFile> files = UnpackTnef(good + extra);
        const std::string said = testing::internal::GetCapturedStdout();
        EXPECT_EQ(said, "");
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].Data, "kept");
    }
}

// The names that `tnef --list` prints for a stream, one a line; none when the tool is absent.
std::optional<std::vector<std::string>> TnefToolList(const std::string& bytes) {
    if (std::system("command -v tnef >/dev/null 2>&1") != 0) return std::nullopt;
    const std::string path = test::PrivateTempDir() + "/listed.dat";
    std::ofstream(path, std::ios::binary) << bytes;
    FILE* pipe = popen(("tnef --list --number-backups -f '" + path + "' 2>/dev/null").c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
    std::remove(path.c_str());
    std::vector<std::string> names;
    size_t start = 0;
    // Each line holds the name, a tab and the path the file would be saved under.
    for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
        names.push_back(out.substr(start, std::min(end, out.find('\t', start)) - start));
    return names;
}

std::vector<std::string> OurNames(const std::string& bytes) {
    std::vector<std::string> names;
    for (const TTnefFile& file : UnpackTnef(bytes)) names.push_back(file.Name);
    return names;
}

TEST(TnefTest, NamesAgreeWithTheTnefTool) {
    const std::vector<std::vector<TTnefAttachment>> streams = {
        kFiles, {{"a.bin", "x", std::nullopt, std::nullopt}}, {}};
    for (const auto& attachments : streams) {
        const std::string bytes = BuildTnef(attachments);
        const std::optional<std::vector<std::string>> listed = TnefToolList(bytes);
        if (!listed) GTEST_SKIP() << "the tnef tool is not installed";
        std::vector<std::string> ours;
        // The tool prints 8-bit names as the stream holds them.
        for (const TTnefAttachment& attachment : attachments)
            ours.push_back(attachment.LongName.value_or(attachment.Title));
        EXPECT_EQ(*listed, ours);
        EXPECT_EQ(OurNames(bytes).size(), listed->size());
    }
}

// Every TNEF attachment of the corpus's messages unpacks to the names the tool lists.
TEST(TnefTest, CorpusTnefAttachmentsAgreeWithTheTnefTool) {
    const std::string root = test::CorpusPath("eml");
    if (root.empty()) GTEST_SKIP() << "no corpus";
    size_t compared = 0;
    for (const std::string& path : test::FilesBelow(root)) {
        const std::string text = test::ReadFile(path);
        if (text.find("ms-tnef") == std::string::npos && text.find("winmail.dat") == std::string::npos) continue;
        const auto message = test::ParseRaw(text);
        for (size_t k = 0; k < message->AttachedFiles.Count(); ++k) {
            const TAttachedFile& file = message->AttachedFiles.Items(k);
            if (!IsTnefAttachment(file.MediaType, file.FileName)) continue;
            const std::optional<std::vector<std::string>> listed = TnefToolList(file.Data);
            if (!listed) GTEST_SKIP() << "the tnef tool is not installed";
            std::vector<std::string> carried;
            for (size_t j = k + 1; j < message->AttachedFiles.Count() && !message->AttachedFiles.Items(j).Container.empty();
                 ++j)
                carried.push_back(message->AttachedFiles.Items(j).FileName);
            EXPECT_EQ(carried, *listed) << path;
            ++compared;
        }
    }
    if (compared == 0) GTEST_SKIP() << "the corpus holds no TNEF attachment";
}

}  // namespace
}  // namespace brindle
