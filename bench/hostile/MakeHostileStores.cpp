// Writes the hostile stores that bench/hostile/run.sh measures brindle-cli on:
//   same N DIR      a folder list of N sibling folders all named "Same"
//   flat N DIR      a folder list of N folders with names of their own, each with a small store
//   cycle N DIR     a folder list whose N folders are each other's parents in a ring, and one
//                   folder that is its own parent
//   deep DIR        an 8-level tree of 40-character names and a folder with a 252-byte name
//                   and a child, each with two messages
//   words MB FILE   a .dbx of MB MiB in which every 32-bit word holds its own offset
//   tinymbx N FILE  a .mbx (no .idx) of N records of one text byte each
#include "StoreWriter.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

namespace ts = brindle::testsupport;

namespace {

constexpr uint32_t kTop = 0xFFFFFFFF;

ts::TStoreMessage SmallMessage(const std::string& subject) {
    ts::TStoreMessage m;
    m.Subject = subject;
    m.SenderAddress = "ann@example.org";
    m.Flags = 0x80;
    m.Text = ts::MessageText({"From: ann@example.org", "Subject: " + subject}, "Hello\r\n");
    return m;
}

void WriteStore(const std::string& path, const std::string& subject) {
    ts::TDbxWriter writer(path);
    writer.Add(SmallMessage(subject + " 1"));
    writer.Add(SmallMessage(subject + " 2"));
    writer.Finish();
}

void Same(uint32_t count, const std::string& dir) {
    std::vector<ts::TFolderListEntry> list = {{1, kTop, "Parent", ""}};
    for (uint32_t k = 0; k < count; ++k) list.push_back({k + 2, 1, "Same", ""});
    ts::WriteFolderList(dir + "/Folders.dbx", list);
}

void Flat(uint32_t count, const std::string& dir) {
    WriteStore(dir + "/One.dbx", "flat");
    std::vector<ts::TFolderListEntry> list;
    // Folder k hangs under folder k / 10, so that the tree has a few levels.
    for (uint32_t k = 0; k < count; ++k)
        list.push_back({k + 1, k < 10 ? kTop : k / 10 + 1, "Folder " + std::to_string(k), k % 1000 ? "" : "One.dbx"});
    ts::WriteFolderList(dir + "/Folders.dbx", list);
}

void Cycle(uint32_t count, const std::string& dir) {
    std::vector<ts::TFolderListEntry> list = {{1, kTop, "Good", ""}, {2, 2, "Own parent", ""}};
    for (uint32_t k = 0; k < count; ++k) list.push_back({k + 3, (k + 1) % count + 3, "Ring " + std::to_string(k), ""});
    ts::WriteFolderList(dir + "/Folders.dbx", list);
}

void Deep(const std::string& dir) {
    std::vector<ts::TFolderListEntry> list;
    for (uint32_t level = 0; level < 8; ++level) {
        const std::string name = "Level " + std::to_string(level) + std::string(32, 'x') + "-long";
        const std::string file = "Deep" + std::to_string(level) + ".dbx";
        WriteStore(dir + "/" + file, name);
        list.push_back({level + 1, level ? level : kTop, name, file});
    }
    WriteStore(dir + "/Long.dbx", "long");
    WriteStore(dir + "/Child.dbx", "child");
    list.push_back({100, kTop, std::string(252, 'L'), "Long.dbx"});
    list.push_back({101, 100, "Child", "Child.dbx"});
    ts::WriteFolderList(dir + "/Folders.dbx", list);
}

void Words(uint64_t mebibytes, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    std::vector<uint32_t> words(1 << 18);
    for (uint64_t at = 0; at < (mebibytes << 20); at += words.size() * 4) {
        for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint32_t>(at + 4 * i);
        out.write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(words.size() * 4));
    }
    if (!out) throw std::runtime_error("cannot write " + path);
}

void TinyMbx(uint32_t count, const std::string& path) {
    ts::TMbxWriter writer(path, ts::TMbxOptions{.WriteIndex = false});
    ts::TStoreMessage m;
    m.Text = "x";
    for (uint32_t k = 0; k < count; ++k) {
        m.Index = k;
        writer.Add(m);
    }
    writer.Finish();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string kind = argc > 1 ? argv[1] : "";
    try {
        if (kind == "deep" && argc == 3) {
            Deep(argv[2]);
            return 0;
        }
        if (argc == 4) {
            const auto number = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
            if (kind == "same") return Same(number, argv[3]), 0;
            if (kind == "flat") return Flat(number, argv[3]), 0;
            if (kind == "cycle") return Cycle(number, argv[3]), 0;
            if (kind == "words") return Words(number, argv[3]), 0;
            if (kind == "tinymbx") return TinyMbx(number, argv[3]), 0;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 1;
    }
    std::fprintf(stderr, "Usage: %s same|flat|cycle N DIR | deep DIR | words MB FILE | tinymbx N FILE\n", argv[0]);
    return 2;
}
