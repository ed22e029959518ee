#include "app/StoreKind.h"

#include "store/OEReader.h"

namespace brindle {

QString StoreFormatName(uint8_t fileKind) {
    switch (fileKind) {
        case kFileKindOE4: return QStringLiteral("Outlook Express 4");
        case kFileKindOE5: return QStringLiteral("Outlook Express 5/6");
        default: return QString();
    }
}

QString FormatLine(uint8_t fileKind) { return QStringLiteral("Format: ") + StoreFormatName(fileKind); }

}  // namespace brindle
