// The cache list's rows, read a page at a time.
#include "app/views/cache_list_model.h"

#include "app/relay/dns_codec.h"
#include "app/shell/host_editor.h"

namespace quenda {
namespace {

QString Shown(std::string_view text) {
    const std::string printable = EscapeControlOctets(text);
    return QString::fromLatin1(printable.data(), static_cast<qsizetype>(printable.size()));
}

// The host name of a key: what comes before the spaces that pad it to its type. A key that
// is name and type simply joined has no such spaces and shows whole.
std::string_view KeyName(std::string_view key, std::string_view type) {
    if (type.size() >= key.size()) return key;
    const size_t end = key.find_last_not_of(' ', key.size() - type.size() - 1);
    return end == std::string_view::npos ? std::string_view() : key.substr(0, end + 1);
}

}  // namespace

CacheListModel::CacheListModel(CacheDatabase& cache, QObject* parent, int pageSize, size_t scanStep)
    : QAbstractTableModel(parent), cache_(cache), pageSize_(pageSize), scanStep_(scanStep) {}

void CacheListModel::ShowEntries(const CacheFilter& filter) {
    beginResetModel();
    ++generation_;
    filter_ = filter;
    keys_.clear();
    resumeAfter_.clear();
    atEnd_ = false;
    searching_ = false;
    endResetModel();
    Step(pageSize_);
}

void CacheListModel::Step(int wanted) {
    searching_ = false;
    if (atEnd_ || wanted <= 0) return;
    CacheListingStep step =
        ListCacheKeys(cache_, filter_, resumeAfter_, static_cast<size_t>(wanted), scanStep_);
    resumeAfter_ = std::move(step.resumeAfter);
    atEnd_ = step.atEnd;
    if (!step.keys.empty()) {
        const int first = static_cast<int>(keys_.size());
        beginInsertRows(QModelIndex(), first, first + static_cast<int>(step.keys.size()) - 1);
        for (std::string& key : step.keys) keys_.push_back(std::move(key));
        endInsertRows();
    }
    const int missing = wanted - static_cast<int>(step.keys.size());
    if (atEnd_ || missing <= 0) return;
    searching_ = true;
    QMetaObject::invokeMethod(
        this,
        [this, missing, generation = generation_] {
            if (generation == generation_) Step(missing);
        },
        Qt::QueuedConnection);
}

std::string CacheListModel::KeyAt(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= keys_.size()) return {};
    return keys_[static_cast<size_t>(row)];
}

int CacheListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(keys_.size());
}

int CacheListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant CacheListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    const std::string key = KeyAt(index.row());
    const std::string type = CacheKeyType(key);
    const bool padded = type.size() < key.size();
    if (index.column() == 1) return padded ? Shown(type) : QString();
    return Shown(padded ? KeyName(key, type) : std::string_view(key));
}

QVariant CacheListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    return section == 0 ? QStringLiteral("Name") : QStringLiteral("Type");
}

bool CacheListModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !atEnd_ && !searching_;
}

void CacheListModel::fetchMore(const QModelIndex& parent) {
    if (!parent.isValid() && !searching_) Step(pageSize_);
}

}  // namespace quenda
