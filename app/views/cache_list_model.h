// The cache list's rows: cache keys read a page at a time as they scroll into view, and a
// search walked in short steps between events, so the list costs the same and the window stays
// responsive on a cache of any size.
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
    // Rows read per page; a page fills several screens.
    static constexpr int kPageSize = 200;
    // Keys looked at per step before the loop gets its turn again (a few milliseconds' work).
    static constexpr size_t kScanStep = 20000;

    // cache outlives the model. The model starts empty until ShowEntries.
    explicit CacheListModel(CacheDatabase& cache, QObject* parent = nullptr,
                            int pageSize = kPageSize, size_t scanStep = kScanStep);

    // Lists the keys the filter selects from the first one. The first step runs now; when it
    // finds less than a page and the table goes on, the walk goes on in later steps from the
    // event loop until a page is there or the table ends.
    void ShowEntries(const CacheFilter& filter);
    // The full cache key of a row; "" for a row outside the list.
    std::string KeyAt(int row) const;
    // A walk for more rows is going on.
    bool Searching() const { return searching_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

  private:
    // One step of the walk; schedules the next while the page is not full.
    void Step(int wanted);

    CacheDatabase& cache_;
    const int pageSize_;
    const size_t scanStep_;
    CacheFilter filter_;
    std::vector<std::string> keys_;  // the rows read so far, in key order
    std::string resumeAfter_;        // the last key looked at
    bool atEnd_ = true;              // no key after resumeAfter_
    bool searching_ = false;         // a step is scheduled
    unsigned generation_ = 0;        // counts listings, so a step of an old one stops
};

}  // namespace quenda
