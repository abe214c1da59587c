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

CacheListModel::CacheListModel(CacheDatabase& cache, QObject* parent)
    : QAbstractTableModel(parent), cache_(cache) {}

void CacheListModel::ShowEntries(const CacheFilter& filter) {
    beginResetModel();
    filter_ = filter;
    keys_ = ListCachePage(cache_, filter_, "", kPageSize);
    atEnd_ = keys_.size() < static_cast<size_t>(kPageSize);
    endResetModel();
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
    return !parent.isValid() && !atEnd_;
}

void CacheListModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid() || atEnd_) return;
    const std::string after = keys_.empty() ? std::string() : keys_.back();
    std::vector<std::string> page = ListCachePage(cache_, filter_, after, kPageSize);
    atEnd_ = page.size() < static_cast<size_t>(kPageSize);
    if (page.empty()) return;
    const int first = static_cast<int>(keys_.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(page.size()) - 1);
    for (std::string& key : page) keys_.push_back(std::move(key));
    endInsertRows();
}

}  // namespace quenda
