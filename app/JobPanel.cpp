#include "app/JobPanel.h"

#include <QBoxLayout>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

namespace brindle {

TJobPanel AddJobPanel(QDialog& dialog, QBoxLayout& layout, int progressSteps, const QString& progressName,
                      const QString& startText, const QString& startName) {
    TJobPanel panel;
    panel.Progress = new QProgressBar(&dialog);
    panel.Progress->setObjectName(progressName);
    panel.Progress->setRange(0, progressSteps);
    panel.Progress->setValue(0);
    layout.addWidget(panel.Progress);
    panel.Status = new QLabel(&dialog);
    panel.Status->setObjectName(QStringLiteral("lbStatus"));
    panel.Status->setWordWrap(true);
    layout.addWidget(panel.Status);
    panel.Reports = new QPlainTextEdit(&dialog);
    panel.Reports->setObjectName(QStringLiteral("mmReports"));
    panel.Reports->setReadOnly(true);
    panel.Reports->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout.addWidget(panel.Reports);

    auto* buttons = new QDialogButtonBox(&dialog);
    panel.Start = buttons->addButton(startText, QDialogButtonBox::AcceptRole);
    panel.Start->setObjectName(startName);
    panel.Cancel = buttons->addButton(QDialogButtonBox::Cancel);
    panel.Cancel->setObjectName(QStringLiteral("bCancel"));
    QObject::connect(panel.Cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    layout.addWidget(buttons);
    return panel;
}

}  // namespace brindle
