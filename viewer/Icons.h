#pragma once
// The viewer's two pictures, drawn at run time at 32 by 32 pixels.
#include <QPixmap>

namespace brindle {

// A closed envelope with a round blue badge that bears a white letter i.
QPixmap EnvelopeIcon();

// A sheet of paper with blue text lines in front of a green and blue globe.
QPixmap AttachmentIcon();

}  // namespace brindle
