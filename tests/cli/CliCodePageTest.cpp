// The store's code page on the command line: --codepage, "codepage" of info, list rows that take
// lost characters from the header, and the code page decided for the real stores.
#include "CliTestSupport.h"
#include "StoreWriter.h"
#include "cli/CliArguments.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

namespace ts = testsupport;
using test::RunTool;
using test::TTempDir;

const std::string kRussian1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";  // Привет
const std::string kRussianUtf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
const std::string kParty = "\xF0\x9F\x8E\x89";  // 🎉

// A Cyrillic store: the header's encoded word tells what the summary bytes are.
std::string WriteCyrillicStore(const TTempDir& dir) {
    ts::TStoreMessage russian;
    russian.Subject = kRussian1251;
    russian.SenderName = "Ann";
    russian.Text =
        ts::MessageText({"From: Ann <ann@example.org>", "Subject: =?utf-8?B?0J/RgNC40LLQtdGC?="}, "Body\r\n");
    ts::TStoreMessage lossy;
    lossy.Subject = kRussian1251 + " ??";
    lossy.SenderName = "Ann";
    lossy.Text =
        ts::MessageText({"From: Ann <ann@example.org>", "Subject: =?utf-8?B?0J/RgNC40LLQtdGCIPCfjok?="}, "Body\r\n");
    const std::string path = dir / "Store.dbx";
    test::WriteFile(path, ts::BuildDbx({russian, lossy}));
    return path;
}

TEST(CliCodePage, OptionNamesACodePageOrAuto) {
    const std::pair<std::string, std::string> accepted[] = {{"windows-1251", "windows-1251"},
                                                            {"cp1251", "windows-1251"},
                                                            {"1251", "windows-1251"},
                                                            {"CP932", "shift_jis"},
                                                            {"auto", ""}};
    for (const auto& [name, label] : accepted) {
        EXPECT_EQ(ParseArguments({"list", "f.dbx", "--codepage", name}).codePage, label) << name;
        EXPECT_EQ(ParseArguments({"info", "--codepage=" + name, "f.dbx"}).codePage, label) << name;
    }
    for (const std::string name : {"utf-8", "klingon", "65001", ""})
        EXPECT_THROW(ParseArguments({"list", "f.dbx", "--codepage", name}), EUsageError) << name;
    EXPECT_THROW(ParseArguments({"list", "f.dbx", "--codepage"}), EUsageError);
    EXPECT_THROW(ParseArguments({"text", "f.dbx", "0", "--codepage", "1251"}), EUsageError);
    for (const char* command : {"info", "list", "addresses", "export", "folders", "scan", "search"}) {
        EXPECT_TRUE(FindCommand(command)->Accepts(kOptionCodePage)) << command;
        EXPECT_NE(CommandHelp(*FindCommand(command)).find("--codepage NAME"), std::string::npos) << command;
    }
}

TEST(CliCodePage, SummariesAreReadInTheDecidedOrChosenCodePage) {
    TTempDir dir;
    const std::string path = WriteCyrillicStore(dir);
    const test::TCliRun info = RunTool({"info", path, "--json"});
    EXPECT_NE(info.out.find("\"codepage\": \"windows-1251\""), std::string::npos) << info.out;
    const test::TCliRun list = RunTool({"list", path});
    EXPECT_NE(list.out.find("\t" + kRussianUtf8 + "\n"), std::string::npos) << list.out;
    // The header explains the "??": the row shows the header's subject.
    EXPECT_NE(list.out.find("\t" + kRussianUtf8 + " " + kParty + "\n"), std::string::npos) << list.out;
    const test::TCliRun json = RunTool({"list", path, "--json"});
    EXPECT_NE(json.out.find("\"Subject\": \"" + kRussianUtf8 + " " + kParty + "\""), std::string::npos) << json.out;

    // Search hits show their summaries in the same code page.
    const test::TCliRun found = RunTool({"search", path, kRussianUtf8});
    EXPECT_NE(found.out.find("\t" + kRussianUtf8 + "\t"), std::string::npos) << found.out;

    const test::TCliRun western = RunTool({"list", path, "--codepage", "1252"});
    EXPECT_NE(western.out.find("\t\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2\n"), std::string::npos)
        << western.out;
    EXPECT_NE(RunTool({"info", path, "--json", "--codepage", "cp1250"}).out.find("\"codepage\": \"windows-1250\""),
              std::string::npos);
}

// A header line of undeclared 8-bit text in a scan row: read in the store's code page, which is
// decided only for such a header.
TEST(CliCodePage, ScanReadsUndeclaredHeaderTextInTheStoresCodePage) {
    TTempDir dir;
    ts::TStoreMessage raw;
    raw.Subject = kRussian1251;
    raw.SenderName = "Ann";
    raw.Text = ts::MessageText({"From: Ann <ann@example.org>", "Subject: " + kRussian1251}, "Body\r\n");
    const std::string path = dir / "Raw.dbx";
    test::WriteFile(path, ts::BuildDbx({raw, raw}));
    EXPECT_NE(RunTool({"scan", path}).out.find("\t" + kRussianUtf8), std::string::npos);
    EXPECT_EQ(RunTool({"scan", path, "--codepage", "1252"}).out.find(kRussianUtf8), std::string::npos);
}

// The code page decided for each real store, for the record; a store whose folder name is
// Cyrillic is read as such.
TEST(CliCodePage, RealStores) {
    if (!test::CorpusHas("dbx/dbxconvert_test.dbx")) GTEST_SKIP() << "corpus not present";
    const test::TCliRun info = RunTool({"info", test::CorpusPath("dbx/dbxconvert_test.dbx")});
    EXPECT_EQ(info.status, 0) << info.err;
    // Исходящие
    EXPECT_NE(info.out.find("Folder: \xD0\x98\xD1\x81\xD1\x85\xD0\xBE\xD0\xB4\xD1\x8F\xD1\x89\xD0\xB8\xD0\xB5\n"),
              std::string::npos)
        << info.out;
    for (const char* store : {"dbx/iped_test_OutlookDBX.dbx", "dbx/mtdbx_test.dbx", "dbx/mtdbx_test1.dbx"}) {
        if (!test::CorpusHas(store)) continue;
        const test::TCliRun western = RunTool({"info", test::CorpusPath(store), "--json"});
        EXPECT_NE(western.out.find("\"codepage\": \"windows-1252\""), std::string::npos) << store << western.out;
    }
}

}  // namespace
}  // namespace brindle
