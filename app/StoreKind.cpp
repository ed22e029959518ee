#include "app/StoreKind.h"

#include "store/OEReader.h"

namespace brindle {

QString StoreFormatName(uint8_t fileKind) {
    switch (fileKind) {
        case kFileKindOE4: return QStringLiteral("Folder file, version 4");
        case kFileKindOE5: return QStringLiteral("Folder file, version 5/6");
        default: return QString();
    }
}

QString FormatLine(uint8_t fileKind) { return QStringLiteral("Format: ") + StoreFormatName(fileKind); }

}  // namespace brindle
