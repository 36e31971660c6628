#include "operations_model.h"

#include "journal/readable_fields.h"
#include "journal_read.h"

#include <memory>

namespace ostrel::app {

OperationsModel::OperationsModel(journal::Journal* journal, JournalRead* read, QObject* parent)
    : QAbstractTableModel(parent), journal_(journal), read_(read),
      columns_(journal::ReadableColumnNames()) {}

void OperationsModel::Clear() {
    read_->Forget();
    beginResetModel();
    rows_.clear();
    cells_.clear();
    atEnd_ = true;
    fetching_ = false;
    matching_ = -1;
    pages_ = 0;
    endResetModel();
}

void OperationsModel::SetFilter(const journal::RowFilter& filter) {
    Clear();
    filter_ = filter;
    if (journal_)
        Read(true);
}

void OperationsModel::Read(bool first) {
    struct Page {
        bool ok = false;
        std::vector<journal::Entry> rows;
        std::int64_t matching = -1;
        std::string error;
    };
    auto page = std::make_shared<Page>();
    const std::optional<std::int64_t> after =
        first || rows_.empty() ? std::nullopt : std::optional<std::int64_t>(rows_.back().id);
    fetching_ = true;
    read_->Start(
        [journal = journal_, filter = filter_, after, first, cap = countCap_, page] {
            page->ok = journal->Page(filter, after, kPageRows, page->rows, page->error) &&
                       (!first || journal->CountUpTo(filter, cap, page->matching, page->error));
        },
        [this, page, first] {
            fetching_ = false;
            if (!page->ok) {
                atEnd_ = true;
                if (onRead)
                    onRead(false, page->error);
                return;
            }
            ++pages_;
            if (first)
                matching_ = page->matching;
            atEnd_ = page->rows.size() < static_cast<std::size_t>(kPageRows);
            if (!page->rows.empty()) {
                const int from = static_cast<int>(rows_.size());
                beginInsertRows({}, from, from + static_cast<int>(page->rows.size()) - 1);
                for (journal::Entry& e : page->rows) {
                    QStringList cells;
                    for (const std::string& field : journal::ReadableFields(e))
                        cells.push_back(QString::fromStdString(field));
                    cells_.push_back(std::move(cells));
                    rows_.push_back(std::move(e));
                }
                endInsertRows();
            }
            if (onRead)
                onRead(true, {});
        });
}

int OperationsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int OperationsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant OperationsModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() ||
        index.row() >= static_cast<int>(cells_.size()))
        return {};
    const QStringList& cells = cells_[static_cast<std::size_t>(index.row())];
    return index.column() < cells.size() ? cells[index.column()] : QVariant();
}

QVariant OperationsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= static_cast<int>(columns_.size()))
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromStdString(columns_[static_cast<std::size_t>(section)]);
}

bool OperationsModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !atEnd_ && !fetching_;
}

void OperationsModel::fetchMore(const QModelIndex& parent) {
    if (canFetchMore(parent))
        Read(false);
}

const journal::Entry* OperationsModel::EntryAt(int row) const {
    return row >= 0 && row < static_cast<int>(rows_.size()) ? &rows_[static_cast<std::size_t>(row)]
                                                            : nullptr;
}

} // namespace ostrel::app
