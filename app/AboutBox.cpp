#include "app/AboutBox.h"

#include "app/AppHooks.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSysInfo>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace brindle {
namespace {

// The value of the first "key : value" line of /proc/cpuinfo with this key.
QString CpuInfoValue(const QString& cpuInfo, const QString& key) {
    for (QStringView line : QStringView(cpuInfo).split(u'\n')) {
        qsizetype colon = line.indexOf(u':');
        if (colon < 0) continue;
        if (line.left(colon).trimmed() == key) return line.mid(colon + 1).trimmed().toString();
    }
    return QString();
}

QString ReadProcFile(const char* path) {
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(file.readAll());
}

uint64_t PhysicalMemoryKilobytes() {
#ifdef Q_OS_UNIX
    long pages = sysconf(_SC_PHYS_PAGES);
    long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / 1024;
#endif
    return 0;
}

QLabel* AddLine(QVBoxLayout* layout, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    layout->addWidget(label);
    return label;
}

}  // namespace

QString VersionLine(int major, int minor, int build) {
    return QStringLiteral("%1 %2.%3 [%4: %5]")
        .arg(QStringLiteral("Version"))
        .arg(major)
        .arg(minor)
        .arg(QStringLiteral("Build"))
        .arg(build);
}

QString OsLine(const QString& systemName) { return QStringLiteral("OS: ") + systemName; }

QString CpuLine(const QString& cpuInfo) {
    QString vendor = CpuInfoValue(cpuInfo, QStringLiteral("vendor_id"));
    QString model = CpuInfoValue(cpuInfo, QStringLiteral("model name"));
    if (model.isEmpty()) model = CpuInfoValue(cpuInfo, QStringLiteral("Model"));
    if (model.isEmpty()) model = QSysInfo::currentCpuArchitecture();
    int mhz = static_cast<int>(std::lround(CpuInfoValue(cpuInfo, QStringLiteral("cpu MHz")).toDouble()));
    if (vendor.isEmpty()) return QStringLiteral("CPU: %1 - %2 Mhz").arg(model).arg(mhz);
    return QStringLiteral("CPU: %1 %2 - %3 Mhz").arg(vendor, model).arg(mhz);
}

QString MemoryLine(uint64_t kilobytes) {
    return QStringLiteral("%1: %2 KB")
        .arg(QStringLiteral("Physical Memory"), QLocale().toString(static_cast<qulonglong>(kilobytes)));
}

QString TdlgAbout::HomepageAddress() { return QStringLiteral(BRINDLE_HOMEPAGE); }
QString TdlgAbout::ContactAddress() { return QStringLiteral(BRINDLE_CONTACT); }

TdlgAbout::TdlgAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlgAbout"));
    setWindowTitle(QStringLiteral("About Brindle"));
    auto* layout = new QVBoxLayout(this);
    QLabel* product = AddLine(layout, QStringLiteral("Brindle"), this);
    QFont big = product->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.6);
    product->setFont(big);
    AddLine(layout, QStringLiteral("Reads and rescues the messages of old Windows mail folder files."), this);
    AddLine(layout, VersionLine(BRINDLE_VERSION_MAJOR, BRINDLE_VERSION_MINOR, BRINDLE_BUILD_NUMBER), this)
        ->setObjectName(QStringLiteral("lVersion"));
    layout->addSpacing(8);
    AddLine(layout, OsLine(QSysInfo::prettyProductName()), this)->setObjectName(QStringLiteral("lOS"));
    AddLine(layout, CpuLine(ReadProcFile("/proc/cpuinfo")), this)->setObjectName(QStringLiteral("lCPU"));
    AddLine(layout, MemoryLine(PhysicalMemoryKilobytes()), this)->setObjectName(QStringLiteral("lMemory"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* homepage = buttons->addButton(QStringLiteral("Visit Homepage"), QDialogButtonBox::ActionRole);
    homepage->setObjectName(QStringLiteral("bHomepage"));
    QPushButton* contact = buttons->addButton(QStringLiteral("Contact Author"), QDialogButtonBox::ActionRole);
    contact->setObjectName(QStringLiteral("bContact"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(homepage, &QPushButton::clicked, this, &TdlgAbout::bHomepageClick);
    connect(contact, &QPushButton::clicked, this, &TdlgAbout::bContactClick);
    layout->addWidget(buttons);
}

void TdlgAbout::bHomepageClick() { AppHooks().OpenUrl(QUrl(HomepageAddress())); }

void TdlgAbout::bContactClick() { AppHooks().OpenUrl(QUrl(QStringLiteral("mailto:") + ContactAddress())); }

}  // namespace brindle
