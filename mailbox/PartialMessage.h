#pragma once
// Messages split into message/partial parts (RFC 2046 5.2.2): telling a part, gathering the
// parts of one split message among other messages, and joining them into the whole message.
#include "platform/Warnings.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

struct TPartialPart {
    std::string Id;
    uint32_t Number = 0;              // from 1
    std::optional<uint32_t> Total;    // given at least on the last part
};

// The part a message is, from its top-level Content-Type; none for a message of another type
// or without an id or a number of at least 1.
std::optional<TPartialPart> PartialPartOf(std::string_view text);

// The whole message from its parts in number order: the header fields of the first part's
// own header except Content-*, Subject, Message-ID, Encrypted and MIME-Version, then those
// fields of the header that the first part's body begins with, then the first part's body
// after that header and the bodies of the other parts, each as it stands.
std::string ReassemblePartial(const std::vector<std::string_view>& partsInOrder);

// The parts of one split message as they are met among other messages.
class TPartialGatherer {
public:
    explicit TPartialGatherer(std::string id) : id_(std::move(id)) {}

    // Keeps the text when it is a part of this message that was not met yet.
    void Offer(std::string_view text);
    // The total when a part gave it.
    std::optional<uint32_t> Total() const { return total_; }
    // The numbers up to the total (or up to the highest met) that no part had.
    std::vector<uint32_t> Missing() const;
    bool Complete() const { return total_ && Missing().empty(); }
    // The whole message; only when Complete.
    std::string Whole() const;

private:
    std::string id_;
    std::optional<uint32_t> total_;
    std::map<uint32_t, std::string> parts_;
};

// The parts of part's message in the store or .eml file at path and in the other store files
// and .eml files of its folder. A file or message that cannot be read is told to warnings and
// passed over.
TPartialGatherer GatherPartialParts(const std::string& path, const TPartialPart& part,
                                    const TWarningSink& warnings = {});

// What a look for the other parts of a split message found.
struct TPartialFinding {
    TPartialPart Part;
    std::optional<uint32_t> Total;
    std::vector<uint32_t> Missing;
    bool Complete = false;
    std::string Whole;  // the reassembled message when Complete
};

TPartialFinding FindingOf(const TPartialPart& part, const TPartialGatherer& gatherer);

// "Split message (message/partial, id ID): part 1 of 3; all parts found, shown reassembled."
// or "...; missing: parts 2, 3." (and "the last part" while the total is unknown); no line end.
std::string PartialFindingLine(const TPartialFinding& finding);

class TMailboxSession;

// For a text that is a part (PartialPartOf): its parts among the messages of the session's
// open store, read through its reader, and then in the other store files and .eml files of
// the open store folder, or of the store's own folder when no store folder is open. None for
// a text that is not a part.
std::optional<TPartialFinding> FindPartialParts(const TMailboxSession& session, std::string_view text,
                                                const TWarningSink& warnings = {});

}  // namespace brindle
