// Writes Rescue.dbx for the rescue benchmark: COUNT messages (default 30,000) of about 3.8 KB,
// every tenth one deleted (its blocks freed) and every fiftieth other one orphaned.
#include "StoreWriter.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace {

namespace ts = brindle::testsupport;

ts::TStoreMessage RescueMessage(uint32_t i) {
    std::string body;
    for (int line = 0; body.size() < 3600; ++line)
        body += "Line " + std::to_string(line) + " of message " + std::to_string(i) +
                ": the quick brown fox jumps over the lazy dog.\r\n";
    ts::TStoreMessage m;
    const std::string n = std::to_string(i);
    m.Text = ts::MessageText({"From: Sender " + n + " <sender" + n + "@example.org>", "To: reader@example.org",
                              "Subject: Rescue benchmark message " + n, "Date: Mon, 6 Jan 2020 12:30:00 +0000",
                              "Message-ID: <" + n + "@rescue.example.org>"},
                             body);
    m.Index = i + 1;
    m.Subject = "Rescue benchmark message " + n;
    m.SenderName = "Sender " + n;
    m.SenderAddress = "sender" + n + "@example.org";
    m.Received = ts::FileTimeOf(2020, 1, 6, 12, 30, i % 60);
    if (i % 10 == 9)
        m.DbxPresence = ts::TDbxPresence::Deleted;
    else if (i % 50 == 25)
        m.DbxPresence = ts::TDbxPresence::Orphaned;
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "Usage: %s DIR [COUNT]\n", argv[0]);
        return 2;
    }
    const unsigned long count = argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 30000;
    try {
        ts::TDbxWriter writer(std::string(argv[1]) + "/Rescue.dbx");
        for (uint32_t i = 0; i < count; ++i) writer.Add(RescueMessage(i));
        writer.Finish();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 1;
    }
    return 0;
}
