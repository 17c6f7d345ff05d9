// List model over the core's lists.
#include "app/list_model.h"

#include <climits>

#include "core/display_text.h"

namespace splicery {

QString ToDisplay(std::string_view bytes) {
  const auto size = static_cast<qsizetype>(bytes.size());
  return IsValidUtf8(bytes) ? QString::fromUtf8(bytes.data(), size)
                            : QString::fromLatin1(bytes.data(), size);
}

ListModel::ListModel(Source source, QObject* parent)
    : QAbstractListModel(parent), source_(std::move(source)) {}

int ListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  size_t n = source_().size();
  return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return {};
  const std::vector<std::string>& items = source_();
  auto row = static_cast<size_t>(index.row());
  if (row >= items.size()) return {};
  return ToDisplay(items[row]);
}

void ListModel::Reload() {
  beginResetModel();
  endResetModel();
}

}  // namespace splicery
