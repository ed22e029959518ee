// The CLI's building blocks: SHA-256, the JSON writer, ISO 8601 dates and argument parsing.
#include "cli/CliArguments.h"
#include "cli/DateFormat.h"
#include "cli/JsonWriter.h"
#include "cli/Sha256.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace brindle {
namespace {

struct DigestCase {
    std::string input;
    const char* hex;
};

TEST(Sha256, KnownDigests) {
    const DigestCase cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        // 55, 56 and 64 bytes: the padding fits one block, needs a second, or follows a full one.
        {std::string(55, 'x'), "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072"},
        {std::string(56, 'x'), "04c26261370ee7541549d16dee320c723e3fd14671e66a099afe0a377c16888e"},
        {std::string(64, 'x'), "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) EXPECT_EQ(Sha256Hex(c.input), c.hex) << c.input.size() << " bytes";
}

TEST(JsonWriter, NestedDocumentWithEveryKindOfValue) {
    TJsonWriter json;
    json.BeginObject();
    json.Member("name", "Ann \"Lee\"\\");
    json.Member("count", uint32_t{4000000000u});
    json.Member("negative", int32_t{-5});
    json.Member("when", 37360.5);
    json.Key("list");
    json.BeginArray();
    json.String("a\tb\r\n\x01");
    json.BeginArray();
    json.EndArray();
    json.EndArray();
    json.Key("empty");
    json.BeginObject();
    json.EndObject();
    json.EndObject();
    EXPECT_EQ(json.Text(),
              "{\n"
              "  \"name\": \"Ann \\\"Lee\\\"\\\\\",\n"
              "  \"count\": 4000000000,\n"
              "  \"negative\": -5,\n"
              "  \"when\": 37360.5,\n"
              "  \"list\": [\n"
              "    \"a\\tb\\r\\n\\u0001\",\n"
              "    []\n"
              "  ],\n"
              "  \"empty\": {}\n"
              "}\n");
}

TEST(JsonWriter, TextIsAlwaysValidUtf8) {
    EXPECT_EQ(JsonQuoted("caf\xC3\xA9"), "\"caf\xC3\xA9\"");                // UTF-8 stays
    EXPECT_EQ(JsonQuoted("caf\xE9 \x80"), "\"caf\xC3\xA9 \xE2\x82\xAC\"");  // Windows-1252
    EXPECT_EQ(JsonQuoted(std::string("a\0b", 3)), "\"a\\u0000b\"");
}

// A file name that is not UTF-8 is also given as its bytes, from which it can be found again.
TEST(JsonWriter, FileNamesThatAreNotUtf8AlsoComeAsTheirBytes) {
    struct TCase {
        std::string Name;
        bool WithBytes;
    };
    const TCase cases[] = {{"Inbox.dbx", false}, {"Caf\xC3\xA9.dbx", false}, {"Caf\xE9.dbx", true}, {"\xFF", true}};
    for (const TCase& c : cases) {
        TJsonWriter json;
        json.BeginObject();
        json.FileNameMember("File", c.Name);
        json.EndObject();
        const std::string& text = json.Text();
        const size_t bytesKey = text.find("\"FileBytes\": \"");
        EXPECT_EQ(bytesKey != std::string::npos, c.WithBytes) << text;
        if (bytesKey == std::string::npos) continue;
        const size_t from = bytesKey + 14;
        const std::string hex = text.substr(from, text.find('"', from) - from);
        std::string decoded;
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            decoded += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        EXPECT_EQ(decoded, c.Name);
    }
}

TEST(JsonWriter, NumbersReadBackExactly) {
    for (double value : {0.0, 0.5208333333333334, 37360.018020833335, -109204.5, 1e300}) {
        TJsonWriter json;
        json.Number(value);
        EXPECT_EQ(std::stod(json.Text()), value);
    }
    TJsonWriter json;
    json.Number(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(json.Text(), "null\n");
}

TEST(JsonWriter, FlushKeepsTheDocumentWhole) {
    TJsonWriter json;
    std::ostringstream out;
    json.BeginArray();
    for (int i = 0; i < 3; ++i) {
        json.Number(i);
        json.FlushTo(out);
    }
    json.EndArray();
    json.FlushTo(out);
    EXPECT_EQ(out.str(), "[\n  0,\n  1,\n  2\n]\n");
}

struct DateCase {
    double value;
    const char* iso;
};

TEST(DateFormat, Iso8601InUtc) {
    const DateCase cases[] = {
        {0.0, "1899-12-30T00:00:00Z"},
        {25569.0, "1970-01-01T00:00:00Z"},
        {36526.5, "2000-01-01T12:00:00Z"},
        {36585.0, "2000-02-29T00:00:00Z"},
        {60.0, "1900-02-28T00:00:00Z"},
        {61.0, "1900-03-01T00:00:00Z"},
        {37000.0 + 12.5 / 24, "2001-04-19T12:30:00Z"},
        {37360.0 + (27 * 60 + 57) / 86400.0, "2002-04-14T00:27:57Z"},
        // 23:59:59.9996 rounds to the next day's midnight; 23:59:59.4 stays in its second.
        {37360.0 + 86399.9996 / 86400.0, "2002-04-15T00:00:00Z"},
        {37360.0 + 86399.4 / 86400.0, "2002-04-14T23:59:59Z"},
        // Before 1899-12-30 the readers add a positive time to a negative day number.
        {-109205.0, "1601-01-01T00:00:00Z"},
        {-109205.0 + 0.5, "1601-01-01T12:00:00Z"},
        {-693593.0, "0001-01-01T00:00:00Z"},
        {2958465.0 + 86399.0 / 86400.0, "9999-12-31T23:59:59Z"},
        {-693594.0, ""},
        {2958466.0, ""},
        {std::numeric_limits<double>::infinity(), ""},
    };
    for (const auto& c : cases) EXPECT_EQ(DateTimeToIso8601(c.value), c.iso) << c.value;
}

TEST(DateFormat, ReceivedFallsBackToTheDateTextOnlyWhenZero) {
    TMessageInfo info;
    info.DateText = " Mon, 1 Jan 2001 10:00:00 +0100 \xE9";
    EXPECT_EQ(ReceivedText(info), " Mon, 1 Jan 2001 10:00:00 +0100 \xC3\xA9");
    info.Received = 25569.0;
    EXPECT_EQ(ReceivedText(info), "1970-01-01T00:00:00Z");
}

TEST(CliArguments, CommandsOperandsAndOptions) {
    TCliArguments a = ParseArguments({"list", "--json", "Inbox.dbx"});
    ASSERT_NE(a.command, nullptr);
    EXPECT_EQ(a.command->name, "list");
    EXPECT_TRUE(a.json);
    EXPECT_EQ(a.operands, std::vector<std::string>{"Inbox.dbx"});

    a = ParseArguments({"export", "f.dbx", "out", "--index", "3,0,3", "--index=7"});
    EXPECT_TRUE(a.hasIndexList);
    EXPECT_EQ(a.indexList, (std::vector<int32_t>{3, 0, 3, 7}));

    a = ParseArguments({"text", "--", "-odd name.dbx", "2"});
    EXPECT_EQ(a.operands, (std::vector<std::string>{"-odd name.dbx", "2"}));

    a = ParseArguments({"show", "--help"});
    EXPECT_TRUE(a.help);
    a = ParseArguments({"--help"});
    EXPECT_TRUE(a.help);
    EXPECT_EQ(a.command, nullptr);
}

TEST(CliArguments, UsageErrors) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"frobnicate", "x"},
        {"--verbose"},
        {"info"},
        {"info", "a", "b"},
        {"header", "a"},
        {"text", "a", "1", "2"},
        {"header", "a", "1", "--json"},  // --json belongs to info, list and show only
        {"list", "a", "--index", "1"},
        {"export", "a", "d", "--index"},
        {"export", "a", "d", "--index", "1,,2"},
        {"export", "a", "d", "--index", "-1"},
        {"attachments", "a"},
        {"attachments", "a", "1", "d", "e"},
    };
    for (const auto& args : wrong) EXPECT_THROW(ParseArguments(args), EUsageError) << ::testing::PrintToString(args);
}

TEST(CliArguments, MessageIndexes) {
    EXPECT_EQ(ParseIndex("0"), 0);
    EXPECT_EQ(ParseIndex("2147483647"), 2147483647);
    for (const char* bad : {"", "-1", "+1", "1x", " 1", "2147483648", "0x10"})
        EXPECT_THROW(ParseIndex(bad), EUsageError) << bad;
}

TEST(CliArguments, EveryCommandHasHelp) {
    std::string tool = ToolHelp();
    for (const auto& command : CommandSpecs()) {
        EXPECT_NE(tool.find("  " + std::string(command.name) + " "), std::string::npos) << command.name;
        EXPECT_TRUE(CommandHelp(command).starts_with("Usage: brindle-cli " + std::string(command.name)));
    }
}

}  // namespace
}  // namespace brindle
