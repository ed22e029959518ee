#pragma once
// The properties of the open folder file. Where the desktop has a properties sheet of its
// own (Windows) that is shown; elsewhere a modal "File Properties" window of ours with the
// full path, size, modified time, owner and permissions, and the store's kind, folder name
// and message count.
#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>

namespace brindle {

class TOEReader;

// Caption and value of each line of our window, in order.
QList<QPair<QString, QString>> FilePropertyRows(const QString& path, TOEReader* reader);

// "rwxr-x---" style text of the file's permissions for owner, group and others.
QString PermissionText(const QString& path);

class TdlgFileProperties : public QDialog {
    Q_OBJECT

public:
    TdlgFileProperties(const QList<QPair<QString, QString>>& rows, QWidget* parent = nullptr);
};

// Shows the properties of the file at path; reader, when given, tells about the store.
// Returns whether they were shown.
bool ShowFileProperties(QWidget* owner, const QString& path, TOEReader* reader = nullptr);

}  // namespace brindle
