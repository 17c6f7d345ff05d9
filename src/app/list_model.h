// SPDX-License-Identifier: GPL-3.0-or-later
// A read-only Qt model over one of the core's string lists, so a list box shows 100,000 items
// without copying them into widget items. Items are converted to text only when painted.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QStyledItemDelegate>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace splicery {

// Bytes as text: in `encoding` where it is known, else UTF-8 where valid, else windows-1252
// (DisplayUtf8 in text/display_text.h).
QString ToDisplay(std::string_view bytes, std::string_view encoding = {});

// How an item's bytes are shown, as UTF-8; unset: as a file name.
using ItemDecoder = std::function<std::string(std::string_view bytes)>;

// How many characters of one text the window lays out. An include line or a page line can be
// megabytes long; laying that out would take seconds and hundreds of megabytes.
inline constexpr qsizetype kShownChars = 300;

// The text's first kShownChars characters, decoded by `decode`, with "…" when something was
// cut. For display only: the bytes themselves stay whole in the core.
QString ShownText(std::string_view bytes, const ItemDecoder& decode = nullptr);

class ListModel : public QAbstractListModel {
  Q_OBJECT
 public:
  using Source = std::function<const std::vector<std::string>&()>;
  ListModel(Source source, QObject* parent, ItemDecoder decode = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  // DisplayRole: the shown text; ToolTipRole: the same as rich text, so that HTML in an item
  // shows as it is written and long items wrap.
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  // Call after the list changed behind the model's back (after each handler).
  void Reload();

  // The rows of the few items with the most bytes, found by Reload(). The widest item is
  // among them unless the list mixes scripts of very different widths.
  const std::vector<int>& LongestRows() const { return longest_rows_; }

 private:
  Source source_;
  ItemDecoder decode_;
  std::vector<int> longest_rows_;
};

// Sizes every row like the widest of the model's longest items, so that the horizontal scroll
// range fits every entry while the view keeps uniform item sizes (it measures one row, not
// 100,000).
class WidestItemDelegate : public QStyledItemDelegate {
 public:
  WidestItemDelegate(const ListModel* model, QObject* parent)
      : QStyledItemDelegate(parent), model_(model) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  const ListModel* model_;
};

}  // namespace splicery
