#pragma once
// The seven 16x16 images of the message list and its header.
#include <QIcon>

namespace brindle {

enum TListImage : int {
    kImageAttachment = 0,    // black paper clip
    kImagePriorityHigh = 1,  // red exclamation mark
    kImagePriorityLow = 2,   // blue downward arrow
    kImageFlag = 3,          // red flag
    kImageRead = 4,          // opened envelope
    kImageUnread = 5,        // closed envelope
    kImageRecovered = 6,     // grey opened envelope with a turning arrow: found by a scan
    kListImageCount = 7,
};

// The image at index (0 to 6); a null icon for any other index.
const QIcon& ListImage(int index);

}  // namespace brindle
