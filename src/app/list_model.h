// A read-only Qt model over one of the core's string lists, so a list box shows 100,000 items
// without copying them into widget items. Items are converted to text only when painted.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace splicery {

// Bytes as text: UTF-8 where valid, else Latin-1.
QString ToDisplay(std::string_view bytes);

class ListModel : public QAbstractListModel {
  Q_OBJECT
 public:
  using Source = std::function<const std::vector<std::string>&()>;
  ListModel(Source source, QObject* parent);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  // Call after the list changed behind the model's back (after each handler).
  void Reload();

 private:
  Source source_;
};

}  // namespace splicery
