#pragma once
// Store folders written into temporary folders for the tree and export tests.
#include "StoreWriter.h"
#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace brindle::test {

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A message whose header names the subject; the body is given.
inline testsupport::TStoreMessage Message(const std::string& subject, const std::string& body = "Hello\r\n",
                                          uint32_t flags = 0x80) {
    testsupport::TStoreMessage m;
    m.Subject = subject;
    m.SenderAddress = "ann@example.org";
    m.Flags = flags;
    m.Text = testsupport::MessageText({"From: ann@example.org", "Subject: " + subject}, body);
    return m;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline void WriteDbx(const std::string& path, const std::vector<testsupport::TStoreMessage>& messages,
                     testsupport::TDbxOptions options = {}) {
    testsupport::TDbxWriter writer(path, std::move(options));
    for (const auto& m : messages) writer.Add(m);
    writer.Finish();
}

}  // namespace brindle::test
