// Suspends painting of a widget until the end of a scope, also when an error leaves it.
#pragma once

#include <QWidget>

namespace skimbrook {

class TBulkUpdate {
 public:
  explicit TBulkUpdate(QWidget& List) : list_(List) { list_.setUpdatesEnabled(false); }
  ~TBulkUpdate() { list_.setUpdatesEnabled(true); }
  TBulkUpdate(const TBulkUpdate&) = delete;
  TBulkUpdate& operator=(const TBulkUpdate&) = delete;

 private:
  QWidget& list_;
};

}  // namespace skimbrook
