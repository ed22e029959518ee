#include "app/FileProperties.h"

#include "app/AppHooks.h"
#include "app/CellTexts.h"
#include "app/StoreKind.h"
#include "store/OEReader.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>

#ifdef Q_OS_WIN
#include <shellapi.h>
#include <windows.h>
#endif

namespace brindle {
namespace {

QString OwnerText(const QFileInfo& info) {
    QString owner = info.owner().isEmpty() ? QString::number(info.ownerId()) : info.owner();
    QString group = info.group().isEmpty() ? QString::number(info.groupId()) : info.group();
    return owner + u':' + group;
}

#ifdef Q_OS_WIN
bool ShowShellProperties(QWidget* owner, const QString& path) {
    std::wstring file = QDir::toNativeSeparators(path).toStdWString();
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    request.fMask = SEE_MASK_INVOKEIDLIST;
    request.hwnd = owner ? reinterpret_cast<HWND>(owner->window()->winId()) : nullptr;
    request.lpVerb = L"properties";
    request.lpFile = file.c_str();
    request.nShow = SW_SHOW;
    return ShellExecuteExW(&request) != FALSE;
}
#endif

}  // namespace

QString PermissionText(const QString& path) {
    QFile::Permissions p = QFileInfo(path).permissions();
    const QFile::Permission bits[] = {QFile::ReadOwner, QFile::WriteOwner, QFile::ExeOwner,
                                      QFile::ReadGroup, QFile::WriteGroup, QFile::ExeGroup,
                                      QFile::ReadOther, QFile::WriteOther, QFile::ExeOther};
    const char letters[] = "rwxrwxrwx";
    QString text;
    for (int i = 0; i < 9; ++i) text += (p & bits[i]) ? QChar(letters[i]) : QChar(u'-');
    return text;
}

QList<QPair<QString, QString>> FilePropertyRows(const QString& path, TOEReader* reader) {
    QFileInfo info(path);
    QLocale locale;
    QList<QPair<QString, QString>> rows;
    rows.append({QStringLiteral("Path:"), QDir::toNativeSeparators(info.absoluteFilePath())});
    rows.append(
        {QStringLiteral("Size:"), locale.toString(static_cast<qlonglong>(info.size())) + QStringLiteral(" bytes")});
    rows.append({QStringLiteral("Modified:"), locale.toString(info.lastModified(), QLocale::LongFormat)});
    rows.append({QStringLiteral("Owner:"), OwnerText(info)});
    rows.append({QStringLiteral("Permissions:"), PermissionText(path)});
    if (reader) {
        rows.append({QStringLiteral("Kind:"), StoreFormatName(reader->FileKind())});
        rows.append({QStringLiteral("Folder:"), ShownText(reader->GetFolderName())});
        rows.append({QStringLiteral("Messages:"), locale.toString(reader->GetMessageCount())});
    }
    return rows;
}

TdlgFileProperties::TdlgFileProperties(const QList<QPair<QString, QString>>& rows, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlgFileProperties"));
    setWindowTitle(QStringLiteral("File Properties"));
    auto* form = new QFormLayout(this);
    for (const auto& [caption, value] : rows) {
        auto* label = new QLabel(value, this);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(caption, label);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    form->addRow(buttons);
}

bool ShowFileProperties(QWidget* owner, const QString& path, TOEReader* reader) {
#ifdef Q_OS_WIN
    (void)reader;
    return ShowShellProperties(owner, path);
#else
    TdlgFileProperties dialog(FilePropertyRows(path, reader), owner);
    AppHooks().RunModal(dialog);
    return true;
#endif
}

}  // namespace brindle
