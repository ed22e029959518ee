#pragma once
// The lower half of a dialog that runs one job: a progress bar, a status line, the reports
// and the start and Cancel buttons, the same in every such dialog.
#include <QString>

class QBoxLayout;
class QDialog;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace brindle {

struct TJobPanel {
    QProgressBar* Progress = nullptr;
    QLabel* Status = nullptr;
    QPlainTextEdit* Reports = nullptr;
    QPushButton* Start = nullptr;
    QPushButton* Cancel = nullptr;
};

// Adds the panel to layout; progressName and startName name the bar and the start button for
// tests, startText is the start button's text. Cancel rejects the dialog.
TJobPanel AddJobPanel(QDialog& dialog, QBoxLayout& layout, int progressSteps, const QString& progressName,
                      const QString& startText, const QString& startName);

}  // namespace brindle
