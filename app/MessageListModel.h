#pragma once
// The message list's model. A row holds only a number: the index of its message in the
// session's summaries, or (negative) the position of a message that the session's scan
// found. Every text, image, font and sort key is made afresh from the reader's copy of that
// summary, or from the summary of the found message's own header.
#include "app/ListFilter.h"
#include "app/SortKey.h"
#include "mailbox/CodePage.h"
#include "mailbox/MailboxSession.h"
#include "mailbox/Rescue.h"
#include "store/OEReader.h"

#include <QAbstractTableModel>
#include <QCollator>
#include <QFont>
#include <QLocale>
#include <QString>
#include <QStringMatcher>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace brindle {

class TMessageListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum TColumn : int {
        colPriority = 0,
        colAttachment = 1,
        colFlag = 2,
        colSender = 3,
        colSubject = 4,
        colReceived = 5,
        colSize = 6,
        kColumnCount = 7,
    };

    explicit TMessageListModel(QObject* parent = nullptr);

    // The session whose store and scan the rows refer to; none while there is none. Rows
    // must be cleared (Clear, RemoveFoundRows) before what they refer to is closed.
    void SetSession(const TMailboxSession* session) {
        session_ = session;
        lossy_.clear();
    }
    // The code page (a label) in which summaries are read; the rows show it at once.
    void SetCodePage(const std::string& codePage);
    const std::string& CodePage() const { return codePage_; }
    // Subject and sender of a summary as its row shows them: read in the code page, and taken
    // from the message's header where the summary lost characters (asked once per message).
    TShownSummary ShownTexts(int32_t index, const TMessageInfo& info) const;
    // One row per summary, in summary order.
    void Fill(int32_t count);
    void Clear();
    // The summary index of a row of the reader; negative for a row of a found message.
    int32_t MessageIndex(int row) const { return rows_.at(static_cast<size_t>(row)); }

    // Shows only the rows whose sender name, sender address or subject hold the text (see
    // ListFilter.h); an empty text shows every row. Rows are the shown rows throughout: row
    // numbers, MessageIndex and sorting refer to them; hidden rows keep their place in the
    // order and come back when the filter changes.
    void SetFilter(const QString& text);
    bool Filtering() const { return !filter_.isEmpty(); }
    // Makes the texts that the filter compares, which the first key would otherwise wait for.
    void PrepareFilter() const {
        KeysOf(false);
        KeysOf(true);
    }
    // Every row, shown or hidden.
    int UnfilteredRowCount() const { return static_cast<int>(allRows_.size()); }

    // The message a row stands for, of either kind; not Valid() for a row out of range.
    TMessageHandle Handle(int row) const;
    // Appends one row for each of these positions in the session's found messages.
    void AddFoundRows(const std::vector<size_t>& positions);
    // Removes the rows of found messages; the others keep their order.
    void RemoveFoundRows();
    bool IsFoundRow(int row) const { return MessageIndex(row) < 0; }
    // The position in the found messages of a row of a found message.
    size_t FoundPosition(int row) const { return FoundPositionOf(MessageIndex(row)); }
    // The position in the found messages of a found message's number (below 0; see MessageIndex).
    static size_t FoundPositionOf(int32_t number) { return static_cast<size_t>(-(number + 1)); }
    int FoundRowCount() const { return foundRows_; }
    // The summary that a found message's own header gives, as the list shows it: read, its
    // sender, subject and date (the parsed date, or the header's text), its recovered size.
    static TMessageInfo FoundInfo(const TRescuedMessage& message);

    // Stable sort of all rows by a column: equal rows keep their order in both directions. The
    // sender and subject columns sort by what is shown; at most kSortHeaderReads headers are
    // read for it, beyond that a summary's own text counts.
    void SortRows(int column, Qt::SortOrder order);
    // The key by which a summary sorts in a column; texts compare by collator.
    static TSortKey SortKeyOf(const TMessageInfo& info, int column, const QCollator& collator);

    static constexpr size_t kSortHeaderReads = 2000;

    // The font of unread rows is this font made bold.
    void SetListFont(const QFont& font);
    // How often data() has been asked, for measuring what painting costs.
    uint64_t DataCalls() const { return dataCalls_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Image index of a cell, or -1 for none.
    static int ImageIndex(const TMessageInfo& info, int column);
    QString CellText(const TMessageInfo& info, int column) const;
    // Sender (colSender) or subject of a summary, read in the code page.
    std::string SummaryText(const TMessageInfo& info, int column) const;
    // The text of a reader row's cell: sender and subject as ShownTexts gives them.
    QString RowCellText(int32_t index, const TMessageInfo& info, int column) const;

private:
    // The summary shown for a row, or none when its reader or scan is gone.
    std::optional<TMessageInfo> RowInfo(int row) const { return InfoOf(MessageIndex(row)); }
    std::optional<TMessageInfo> InfoOf(int32_t number) const;
    bool Shown(int32_t number) const;
    // The filter keys of the reader's rows or of the found rows, made once while a filter is
    // in use.
    const TFilterKeys& KeysOf(bool found) const;
    void UpdateShown();
    // The shown rows afresh from every row.
    void ApplyFilter();
    void ForgetKeys();
    QVariant FoundRowData(const TRescuedMessage& message, int column, int role) const;

    TOEReader* Reader() const;
    const std::vector<TRescuedMessage>* Found() const;

    const TMailboxSession* session_ = nullptr;
    std::string codePage_;
    // Shown texts of the messages whose summaries hold "?", by summary index.
    mutable std::unordered_map<int32_t, TShownSummary> lossy_;
    // The shown rows, and every row in the same order.
    std::vector<int32_t> rows_;
    std::vector<int32_t> allRows_;
    QString filter_;  // folded
    QStringMatcher filterMatcher_;
    mutable TFilterKeys keys_;       // by summary index
    mutable TFilterKeys foundKeys_;  // by position in the found messages
    std::vector<uint8_t> shown_;     // by summary index, while a filter is in use
    std::vector<uint8_t> foundShown_;
    int foundRows_ = 0;
    QLocale locale_;
    QFont boldFont_;
    mutable uint64_t dataCalls_ = 0;
};

}  // namespace brindle
