// Parse throughput of the message object: raw text to lines, then Parse (header fields, text
// body in UTF-8, every attachment decoded).
#include "BenchInput.h"
#include "mime/MoxMsg.h"

int main(int argc, char** argv) {
    return bench::Run(bench::ReadInput(argc, argv), [](std::string text) {
        brindle::TMoxMsg msg;
        msg.SetRawText(std::move(text));
        msg.Parse();
        unsigned long long check = msg.Text.size() + msg.Subject.size();
        for (size_t i = 0; i < msg.AttachedFiles.Count(); ++i) check += msg.AttachedFiles.Items(i).Data.size();
        return check;
    });
}
