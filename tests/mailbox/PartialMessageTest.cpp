// message/partial: telling a part, gathering the parts of one message from a store and the
// .eml files beside it, and joining them (checked against the wholes the corpus holds).
#include "MailboxTestSupport.h"
#include "mailbox/MailboxSession.h"
#include "mailbox/PartialMessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <fstream>

namespace brindle {
namespace {

using test::TTempDir;

std::string PartText(const std::string& id, uint32_t number, std::optional<uint32_t> total, const std::string& body,
                     const std::string& extra = "") {
    std::string type = "Content-Type: message/partial; id=\"" + id + "\";\r\n\tnumber=" + std::to_string(number);
    if (total) type += "; total=" + std::to_string(*total);
    return "From: a@example.org\r\nSubject: big (" + std::to_string(number) + ")\r\nMessage-ID: <p" +
           std::to_string(number) + "@x>\r\nMIME-Version: 1.0\r\n" + extra + type + "\r\n\r\n" + body;
}

const std::string kEnclosed =
    "Subject: big\r\nX-Dropped: yes\r\nMessage-ID: <whole@x>\r\nMIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\n";

TEST(PartialMessageTest, TellsPartsFromTheirContentType) {
    struct TCase {
        std::string Text;
        std::optional<uint32_t> Number;
        std::optional<uint32_t> Total;
    };
    const std::vector<TCase> cases = {
        {PartText("a@x", 2, 3, "x"), 2, 3},
        {PartText("a@x", 1, std::nullopt, "x"), 1, std::nullopt},
        {"Content-type: MESSAGE/Partial; number=4; ID=\"q\"\r\n\r\nx", 4, std::nullopt},
        {"Content-Type: message/partial; number=0; id=q\r\n\r\nx", std::nullopt, std::nullopt},
        {"Content-Type: message/partial; number=1\r\n\r\nx", std::nullopt, std::nullopt},
        {"Content-Type: message/partial; id=q; number=x1\r\n\r\nx", std::nullopt, std::nullopt},
        {"Content-Type: text/plain; id=q; number=1\r\n\r\nx", std::nullopt, std::nullopt},
        {"Subject: s\r\n\r\nContent-Type: message/partial; id=q; number=1\r\n", std::nullopt, std::nullopt},
    };
    for (const TCase& c : cases) {
        const std::optional<TPartialPart> part = PartialPartOf(c.Text);
        EXPECT_EQ(part.has_value(), c.Number.has_value()) << c.Text;
        if (!part || !c.Number) continue;
        EXPECT_EQ(part->Number, *c.Number) << c.Text;
        EXPECT_EQ(part->Total, c.Total) << c.Text;
    }
}

TEST(PartialMessageTest, JoinsTheFirstPartsHeadersWithTheEnclosedOnesAndEveryBody) {
    const std::string whole = ReassemblePartial(
        {PartText("a@x", 1, 2, kEnclosed + "first half\r\n", "X-Kept: outer\r\n"), PartText("a@x", 2, 2, "second\r\n")});
    EXPECT_EQ(whole, "From: a@example.org\r\nX-Kept: outer\r\nSubject: big\r\nMessage-ID: <whole@x>\r\n"
                     "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nfirst half\r\nsecond\r\n");
}

// The parts come in any order, from the store and the .eml files beside it; a part of
// another message, a second copy and a missing part are told apart.
TEST(PartialMessageTest, GathersPartsFromAStoreAndTheFilesBesideIt) {
    const std::string p1 = PartText("a@x", 1, std::nullopt, kEnclosed + "one\r\n");
    const std::string p2 = PartText("a@x", 2, std::nullopt, "two\r\n");
    const std::string p3 = PartText("a@x", 3, 3, "three\r\n");
    const std::string other = PartText("b@x", 2, 3, "other\r\n");
    struct TCase {
        std::string What;
        std::vector<std::string> InStore;
        std::vector<std::string> EmlFiles;
        std::vector<uint32_t> Missing;
        std::optional<uint32_t> Total;
    };
    const std::vector<TCase> cases = {
        {"all in the store", {p3, other, p1, p2}, {}, {}, 3},
        {"split over files", {p2}, {p3, p1}, {}, 3},
        // Without the last part the total is unknown: nothing below the highest part is missing.
        {"a copy and another message", {p2, p2, other}, {p1}, {}, std::nullopt},
        {"middle missing", {p1, p3}, {}, {2}, 3},
    };
    for (const TCase& c : cases) {
        TTempDir dir;
        std::vector<testsupport::TStoreMessage> messages;
        for (const std::string& text : c.InStore) {
            testsupport::TStoreMessage m;
            m.Text = text;
            messages.push_back(m);
        }
        test::WriteDbx(dir / "Inbox.dbx", messages);
        for (size_t k = 0; k < c.EmlFiles.size(); ++k)
            std::ofstream(dir / ("part" + std::to_string(k) + ".eml"), std::ios::binary) << c.EmlFiles[k];
        const TPartialGatherer gatherer = GatherPartialParts(dir / "Inbox.dbx", *PartialPartOf(p2));
        EXPECT_EQ(gatherer.Missing(), c.Missing) << c.What;
        EXPECT_EQ(gatherer.Total(), c.Total) << c.What;
        EXPECT_EQ(gatherer.Complete(), c.Missing.empty() && c.Total) << c.What;
        if (gatherer.Complete()) {
            EXPECT_EQ(gatherer.Whole(), ReassemblePartial({p1, p2, p3})) << c.What;
        }
    }
}

// The open store is read through the session's reader; the other files come from the store
// folder, or from the store's own folder when none is open.
TEST(PartialMessageTest, FindsThePartsOfTheOpenStoreAndItsFolder) {
    const std::string p1 = PartText("a@x", 1, 3, kEnclosed + "one\r\n");
    const std::string p2 = PartText("a@x", 2, 3, "two\r\n");
    const std::string p3 = PartText("a@x", 3, 3, "three\r\n");
    auto store = [](const std::vector<std::string>& texts) {
        std::vector<testsupport::TStoreMessage> messages;
        for (const std::string& text : texts) {
            testsupport::TStoreMessage m;
            m.Text = text;
            messages.push_back(m);
        }
        return messages;
    };
    struct TCase {
        std::string What;
        bool StoreFolder;
        bool ThirdBeside;
        std::vector<uint32_t> Missing;
    };
    const std::vector<TCase> cases = {
        {"third in an .eml beside the store", false, true, {}},
        {"third in another store of the store folder", true, true, {}},
        {"third nowhere", true, false, {3}},
    };
    for (const TCase& c : cases) {
        TTempDir dir;
        test::WriteDbx(dir / "Inbox.dbx", store({p2, PartText("b@x", 1, 3, "other\r\n"), p1}));
        if (c.ThirdBeside && c.StoreFolder) test::WriteDbx(dir / "Sent.dbx", store({p3}));
        if (c.ThirdBeside && !c.StoreFolder) std::ofstream(dir / "part.eml", std::ios::binary) << p3;
        TMailboxSession session;
        if (c.StoreFolder) session.OpenStoreFolder(dir.Path(), "");
        session.OpenStore(dir / "Inbox.dbx");
        session.ReadSummaries();
        const std::optional<TPartialFinding> found = FindPartialParts(session, p2);
        ASSERT_TRUE(found) << c.What;
        EXPECT_EQ(found->Part.Number, 2u) << c.What;
        EXPECT_EQ(found->Missing, c.Missing) << c.What;
        EXPECT_EQ(found->Complete, c.Missing.empty()) << c.What;
        EXPECT_EQ(found->Whole, c.Missing.empty() ? ReassemblePartial({p1, p2, p3}) : "") << c.What;
    }
    // Nothing open: only the text itself; a text that is no part is none.
    TMailboxSession empty;
    const std::optional<TPartialFinding> alone = FindPartialParts(empty, p3);
    ASSERT_TRUE(alone);
    EXPECT_EQ(alone->Missing, (std::vector<uint32_t>{1, 2}));
    EXPECT_FALSE(FindPartialParts(empty, "Subject: x\r\n\r\nbody\r\n"));
}

TEST(PartialMessageTest, TheLineTellsWhatWasFound) {
    struct TCase {
        TPartialFinding Finding;
        std::string Line;
    };
    const TPartialPart part{"a@x", 2, std::nullopt};
    const std::vector<TCase> cases = {
        {{part, 3, {}, true, "whole"},
         "Split message (message/partial, id a@x): part 2 of 3; all parts found, shown reassembled."},
        {{part, 3, {1, 3}, false, ""}, "Split message (message/partial, id a@x): part 2 of 3; missing: parts 1, 3."},
        {{part, std::nullopt, {1}, false, ""},
         "Split message (message/partial, id a@x): part 2 of an unknown number; missing: parts 1 and the last part."},
        {{part, std::nullopt, {}, false, ""},
         "Split message (message/partial, id a@x): part 2 of an unknown number; missing: the last part."},
    };
    for (const TCase& c : cases) EXPECT_EQ(PartialFindingLine(c.Finding), c.Line);
}

std::vector<std::string> SortedHeaderLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text.substr(0, text.find("\n\n")));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The corpus holds split messages with the wholes they make.
TEST(PartialMessageTest, CorpusPartsMakeTheirWholes) {
    const std::filesystem::path root = std::filesystem::path(BRINDLE_CORPUS) / "eml/mimekit-testdata/partial";
    if (!std::filesystem::is_directory(root)) GTEST_SKIP() << "no corpus at " << root;
    for (const std::string stem : {"rfc2046", "message-partial"}) {
        const std::string first = test::ReadWholeFile((root / (stem + ".0.eml")).string());
        const TPartialGatherer gatherer = GatherPartialParts((root / (stem + ".0.eml")).string(), *PartialPartOf(first));
        ASSERT_TRUE(gatherer.Complete()) << stem;
        std::string expected = test::ReadWholeFile((root / (stem + ".eml")).string());
        std::string whole = gatherer.Whole();
        // The wholes were written with other line ends at the end of the last part.
        while (!expected.empty() && (expected.back() == '\n' || expected.back() == '\r')) expected.pop_back();
        while (!whole.empty() && (whole.back() == '\n' || whole.back() == '\r')) whole.pop_back();
        // The wholes keep the enclosed fields where the outer ones stood; they are appended here,
        // as RFC 2046 has it: the same fields, in another order, and the same body.
        EXPECT_EQ(SortedHeaderLines(whole), SortedHeaderLines(expected)) << stem;
        EXPECT_EQ(whole.substr(whole.find("\n\n")), expected.substr(expected.find("\n\n"))) << stem;
    }
}

}  // namespace
}  // namespace brindle
