// SPDX-License-Identifier: GPL-3.0-or-later
// A small dialog that shows a report of the whole site (its diff, its findings) as plain,
// monospaced, read-only text, each page's part in that page's encoding.
#pragma once

#include <QDialog>

#include "report/site_report.h"

class QPlainTextEdit;

namespace splicery {

class ReportDialog : public QDialog {
  Q_OBJECT
 public:
  ReportDialog(const QString& title, const Report& report, QWidget* parent);
  QString text() const;

 private:
  QPlainTextEdit* view_;
};

}  // namespace splicery
