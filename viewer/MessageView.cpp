#include "viewer/MessageView.h"

#include <QDialog>

namespace brindle {

void ShowMessageView(const std::string& rawText, QWidget* parent) {
    (void)rawText;
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Brindle"));
    dialog.exec();
}

}  // namespace brindle
