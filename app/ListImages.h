#pragma once
// The six 16x16 images of the message list and its header.
#include <QIcon>

namespace brindle {

enum TListImage : int {
    kImageAttachment = 0,    // black paper clip
    kImagePriorityHigh = 1,  // red exclamation mark
    kImagePriorityLow = 2,   // blue downward arrow
    kImageFlag = 3,          // red flag
    kImageRead = 4,          // opened envelope
    kImageUnread = 5,        // closed envelope
    kListImageCount = 6,
};

// The image at index (0 to 5); a null icon for any other index.
const QIcon& ListImage(int index);

}  // namespace brindle
