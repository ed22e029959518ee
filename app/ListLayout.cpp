#include "app/ListLayout.h"

#include "components/SettingsKey.h"

#include <QVariant>

namespace brindle {
namespace {

const QString kKey = QStringLiteral("Software\\Korvane\\Brindle\\1.x\\List");

QList<int> ReadNumbers(const QSettings& settings, const QString& name) {
    QList<int> numbers;
    for (const QVariant& value : settings.value(name).toList()) {
        bool ok = false;
        const int number = value.toInt(&ok);
        if (!ok || number < 0) return {};
        numbers.append(number);
    }
    return numbers;
}

QVariantList AsValues(const QList<int>& numbers) {
    QVariantList values;
    for (int number : numbers) values.append(number);
    return values;
}

}  // namespace

TListLayout ReadListLayout() {
    const std::unique_ptr<QSettings> settings = OpenSettingsKey(kKey);
    TListLayout layout;
    layout.ColumnWidths = ReadNumbers(*settings, QStringLiteral("Column Widths"));
    layout.UserSized = ReadNumbers(*settings, QStringLiteral("User Sized Columns"));
    layout.SortColumn = settings->value(QStringLiteral("Sort Column"), -1).toInt();
    layout.Descending = settings->value(QStringLiteral("Sort Descending"), false).toBool();
    layout.SplitterSizes = ReadNumbers(*settings, QStringLiteral("Splitter"));
    layout.ReadingPane = settings->value(QStringLiteral("Reading Pane"), false).toBool();
    return layout;
}

void WriteListLayout(const TListLayout& layout) {
    const std::unique_ptr<QSettings> settings = OpenSettingsKey(kKey);
    settings->setValue(QStringLiteral("Column Widths"), AsValues(layout.ColumnWidths));
    settings->setValue(QStringLiteral("User Sized Columns"), AsValues(layout.UserSized));
    settings->setValue(QStringLiteral("Sort Column"), layout.SortColumn);
    settings->setValue(QStringLiteral("Sort Descending"), layout.Descending);
    settings->setValue(QStringLiteral("Splitter"), AsValues(layout.SplitterSizes));
    settings->setValue(QStringLiteral("Reading Pane"), layout.ReadingPane);
}

}  // namespace brindle
