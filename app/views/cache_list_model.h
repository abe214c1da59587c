// The cache list's rows: cache keys read a page at a time as they scroll into view, so the
// list costs the same on a cache of any size.
#pragma once

#include <QAbstractTableModel>
#include <string>
#include <vector>

#include "app/cache/cache_listing.h"

namespace quenda {

// Column 0 is the host name, column 1 the type, both as the key stores them.
class CacheListModel final : public QAbstractTableModel {
    Q_OBJECT

  public:
    // Keys read per page; a page fills several screens.
    static constexpr int kPageSize = 200;

    // cache outlives the model. The model starts empty until ShowEntries.
    explicit CacheListModel(CacheDatabase& cache, QObject* parent = nullptr);

    // Lists the keys the filter selects from the first one, reading the first page now.
    void ShowEntries(const CacheFilter& filter);
    // The full cache key of a row; "" for a row outside the list.
    std::string KeyAt(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

  private:
    CacheDatabase& cache_;
    CacheFilter filter_;
    std::vector<std::string> keys_;  // the rows read so far, in key order
    bool atEnd_ = true;              // no key after the last row read
};

}  // namespace quenda
