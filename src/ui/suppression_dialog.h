#pragma once
// The dialog "Sperrliste": the suppressed addresses as a table (address,
// date, reason) to add to, change and remove from.
#include <QDialog>
#include <vector>

#include "merge/suppression_list.h"

class QTableWidget;

namespace sendrix::ui {

class SuppressionDialog : public QDialog {
    Q_OBJECT
public:
    SuppressionDialog(const std::vector<merge::SuppressedAddress>& entries, QWidget* parent = nullptr);
    // The rows as they stand, rows without an address left out.
    std::vector<merge::SuppressedAddress> entries() const;

private:
    QTableWidget* m_table = nullptr;
};

}  // namespace sendrix::ui
