#pragma once
// File names under which every attachment of a message can be saved into one folder.
#include "mime/MoxMsg.h"
#include "platform/FileNames.h"

#include <string>
#include <vector>

namespace brindle {

// Names longer than this many bytes are cut (at a UTF-8 character boundary).
constexpr size_t kMaxSaveNameBytes = kMaxFileNameBytes;

// One file name per item, in order, all different: the item's file name made safe by
// SafeSaveName (no "/", control or bidirectional characters, no leading "." and no device
// name such as CON or LPT1; "." and ".." count as no name); an
// item without a name becomes "attachment-N" (N its 1-based position) with the usual
// extension of its media type, ".bin" when unknown; a name taken before gets " (2)", " (3)"
// ... before its extension. Every name fits kMaxSaveNameBytes.
std::vector<std::string> AttachmentSaveNames(const TAttachedFiles& files);

}  // namespace brindle
