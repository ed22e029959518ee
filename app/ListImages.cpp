#include "app/ListImages.h"

#include <array>

// Resources of a static library must be registered by name, outside any namespace.
static void InitListImageResources() { Q_INIT_RESOURCE(images); }

namespace brindle {
namespace {

std::array<QIcon, kListImageCount> LoadImages() {
    InitListImageResources();
    static constexpr const char* kFiles[kListImageCount] = {"attachment", "priority-high", "priority-low", "flag",
                                                            "read",       "unread",        "recovered"};
    std::array<QIcon, kListImageCount> images;
    for (int i = 0; i < kListImageCount; ++i)
        images[i] = QIcon(QStringLiteral(":/brindle/images/%1.png").arg(QLatin1String(kFiles[i])));
    return images;
}

}  // namespace

const QIcon& ListImage(int index) {
    static const std::array<QIcon, kListImageCount> images = LoadImages();
    static const QIcon none;
    return index >= 0 && index < kListImageCount ? images[index] : none;
}

}  // namespace brindle
