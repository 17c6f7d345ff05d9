// SPDX-License-Identifier: GPL-3.0-or-later
// List model over the core's lists, and the shortening of long texts for display.
#include "app/list_model.h"

#include <algorithm>
#include <climits>

#include "text/display_text.h"

namespace splicery {
namespace {

// Enough candidates that a few wide letters in a shorter item do not hide it.
constexpr size_t kMeasuredRows = 8;

}  // namespace

QString ToDisplay(std::string_view bytes, std::string_view encoding) {
  const std::string utf8 = DisplayUtf8(bytes, encoding);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString ShownText(std::string_view bytes, const ItemDecoder& decode) {
  // A character takes at most four bytes, so this prefix holds kShownChars of them.
  const size_t max_bytes = static_cast<size_t>(kShownChars) * 4;
  bool cut = bytes.size() > max_bytes;
  if (cut) {
    size_t end = max_bytes;
    // Back to the start of a UTF-8 sequence, so a valid text stays valid when cut.
    while (end > max_bytes - 3 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
    bytes = bytes.substr(0, end);
  }
  QString text;
  if (decode) {
    const std::string utf8 = decode(bytes);
    text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  } else {
    text = ToDisplay(bytes);
  }
  if (text.size() > kShownChars) {
    qsizetype end = kShownChars;
    if (text.at(end - 1).isHighSurrogate()) --end;
    text.truncate(end);
    cut = true;
  }
  if (cut) text += QChar(0x2026);
  return text;
}

ListModel::ListModel(Source source, QObject* parent, ItemDecoder decode)
    : QAbstractListModel(parent), source_(std::move(source)), decode_(std::move(decode)) {}

int ListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  size_t n = source_().size();
  return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
  if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || !index.isValid()) return {};
  const std::vector<std::string>& items = source_();
  auto row = static_cast<size_t>(index.row());
  if (row >= items.size()) return {};
  QString text = ShownText(items[row], decode_);
  if (role == Qt::DisplayRole) return text;
  return "<p style='white-space:pre-wrap'>" + text.toHtmlEscaped() + "</p>";
}

void ListModel::Reload() {
  beginResetModel();
  // One pass with a short sorted list of candidates: no copy of a 100,000-item list.
  const std::vector<std::string>& items = source_();
  const int rows = rowCount();
  auto longer = [&items](int a, int b) { return items[a].size() > items[b].size(); };
  longest_rows_.clear();
  for (int row = 0; row < rows; ++row) {
    if (longest_rows_.size() == kMeasuredRows && !longer(row, longest_rows_.back())) continue;
    if (longest_rows_.size() == kMeasuredRows) longest_rows_.pop_back();
    longest_rows_.insert(std::upper_bound(longest_rows_.begin(), longest_rows_.end(), row, longer),
                         row);
  }
  endResetModel();
}

QSize WidestItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  for (int row : model_->LongestRows())
    size = size.expandedTo(QStyledItemDelegate::sizeHint(option, model_->index(row)));
  return size;
}

}  // namespace splicery
