// Writes a store folder for the benchmarks: a folder list (Folders.dbx) of 40 folders, four
// levels deep, and one .dbx per folder with PER_FOLDER messages (default 500) of about 2 KB
// each, in 512-byte data blocks.
#include "StoreWriter.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace ts = brindle::testsupport;

namespace {

constexpr uint32_t kFolders = 40;

ts::TStoreMessage BenchMessage(uint32_t folder, uint32_t k) {
    ts::TStoreMessage m;
    m.Index = k;
    m.Flags = (k % 3 == 0 ? 0 : 0x80) | (k % 7 == 0 ? 0x80000 : 0);
    m.Subject = "Folder " + std::to_string(folder) + " message " + std::to_string(k);
    m.SenderName = "Sender " + std::to_string(k % 97);
    m.SenderAddress = "sender" + std::to_string(k % 97) + "@example.org";
    m.ReceiverAddress = "me@example.org";
    m.Received = ts::FileTimeOf(2003, 1 + k % 12, 1 + k % 28, k % 24, k % 60, k % 60);
    std::string body;
    for (int line = 0; body.size() < 1900; ++line)
        body += (line % 9 == 4 ? "From the desk of the sender, line " : "Text of the message, line ") +
                std::to_string(line) + ", with some words to fill it.\r\n";
    m.Text = ts::MessageText({"From: " + m.SenderName + " <" + m.SenderAddress + ">", "To: me@example.org",
                              "Subject: " + m.Subject, "Date: Wed, 1 Jan 2003 10:00:00 +0000",
                              "Message-ID: <" + std::to_string(folder) + "." + std::to_string(k) + "@example.org>"},
                             body);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "Usage: %s DIR [PER_FOLDER]\n", argv[0]);
        return 2;
    }
    const auto perFolder = static_cast<uint32_t>(argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 500);
    const std::string dir = argv[1];
    try {
        // Folder k hangs under folder (k - 1) / 3: a tree of four levels below the top.
        std::vector<ts::TFolderListEntry> list = {{0, 0xFFFFFFFF, "Mail", ""}};
        for (uint32_t k = 1; k <= kFolders; ++k) {
            const std::string name = "Folder " + std::to_string(k);
            list.push_back({k, (k - 1) / 3, name, name + ".dbx", 0, perFolder, perFolder / 3, k <= 5 ? k : 0});
            ts::TDbxWriter writer(dir + "/" + name + ".dbx", ts::TDbxOptions{.FolderName = name});
            for (uint32_t m = 0; m < perFolder; ++m) writer.Add(BenchMessage(k, m));
            writer.Finish();
        }
        ts::WriteFolderList(dir + "/Folders.dbx", list);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 1;
    }
    return 0;
}
