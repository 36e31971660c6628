#pragma once

#include "journal/journal.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <functional>
#include <vector>

namespace ostrel::app {

class JournalRead;

// "Opérations" of the Journal window: the rows matching a filter, newest first, read a page at
// a time as the view scrolls to them, without their card images, beside the window's thread.
// The journal counts the rows matching, up to a cap beyond which it says "more than".
class OperationsModel : public QAbstractTableModel {
public:
    static constexpr int kPageRows = 200;
    static constexpr std::int64_t kCountCap = 10000;

    // read: the reads of the view, its label saying while one waits.
    OperationsModel(journal::Journal* journal, JournalRead* read, QObject* parent);

    // Reads anew from the first page; the rows shown until then go.
    void SetFilter(const journal::RowFilter& filter);
    // No journal, or a filter that cannot be read: no rows, nothing read.
    void Clear();
    const journal::RowFilter& filter() const { return filter_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    // The row shown at row, without its images; null past the rows read.
    const journal::Entry* EntryAt(int row) const;

    // The rows matching: exact up to the cap, otherwise more than countCap(); -1 before the
    // first page is read.
    std::int64_t matching() const { return matching_; }
    std::int64_t countCap() const { return countCap_; }
    void SetCountCap(std::int64_t cap) { countCap_ = cap; }
    // The pages read since the filter was set.
    int pagesRead() const { return pages_; }

    // After each page shown, or its read failed (error then).
    std::function<void(bool ok, const std::string& error)> onRead;

private:
    void Read(bool first);

    journal::Journal* journal_;
    JournalRead* read_;
    journal::RowFilter filter_;
    std::vector<journal::Entry> rows_;
    std::vector<QStringList> cells_;
    std::vector<std::string> columns_;
    bool atEnd_ = true;
    bool fetching_ = false;
    std::int64_t matching_ = -1;
    std::int64_t countCap_ = kCountCap;
    int pages_ = 0;
};

} // namespace ostrel::app
