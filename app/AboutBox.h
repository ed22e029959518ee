#pragma once
// The about box: product name and description, version and build, and what the system is
// (operating system, processor, physical memory); buttons open the home page and a mail to
// the author.
#include <QDialog>
#include <QString>

#include <cstdint>

namespace brindle {

// "Version %d.%d [Build: %d]".
QString VersionLine(int major, int minor, int build);
// "OS: %s".
QString OsLine(const QString& systemName);
// From the text of /proc/cpuinfo: "CPU: %s %s - %d Mhz" with vendor and model name, or
// "CPU: %s - %d Mhz" when only one name is known.
QString CpuLine(const QString& cpuInfo);
// "Physical Memory: %0.0n KB" with the locale's thousands separators.
QString MemoryLine(uint64_t kilobytes);

class TdlgAbout : public QDialog {
    Q_OBJECT

public:
    explicit TdlgAbout(QWidget* parent = nullptr);

    static QString HomepageAddress();
    static QString ContactAddress();

private:
    void bHomepageClick();
    void bContactClick();
};

}  // namespace brindle
