#include "ui/suppression_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/qt_text.h"

namespace sendrix::ui {

SuppressionDialog::SuppressionDialog(const std::vector<merge::SuppressedAddress>& entries, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("SuppressionDialog"));
    setWindowTitle(QStringLiteral("Sperrliste"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("An diese Adressen sendet Sendrix nicht mehr: Die Prüfung vor dem Versand wählt ihre "
                       "Zeilen ab (eine von Hand wieder markierte Zeile wird angeschrieben)."),
        this));
    m_table = new QTableWidget(static_cast<int>(entries.size()), 3, this);
    m_table->setObjectName(QStringLiteral("Sperrliste"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Adresse"), QStringLiteral("Datum"), QStringLiteral("Grund")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    for (int row = 0; row < static_cast<int>(entries.size()); ++row) {
        const merge::SuppressedAddress& entry = entries[static_cast<std::size_t>(row)];
        m_table->setItem(row, 0, new QTableWidgetItem(toQt(entry.address)));
        m_table->setItem(row, 1, new QTableWidgetItem(toQt(entry.date)));
        m_table->setItem(row, 2, new QTableWidgetItem(toQt(entry.reason)));
    }
    m_table->resizeColumnToContents(0);
    layout->addWidget(m_table);

    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton(QStringLiteral("&Hinzufügen"), this);
    add->setObjectName(QStringLiteral("Hinzufuegen"));
    auto* remove = new QPushButton(QStringLiteral("&Entfernen"), this);
    remove->setObjectName(QStringLiteral("Entfernen"));
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(add, &QPushButton::clicked, this, [this] {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        for (int column = 0; column < 3; ++column)
            m_table->setItem(row, column, new QTableWidgetItem);
        m_table->setCurrentCell(row, 0);
        m_table->editItem(m_table->item(row, 0));
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_table->currentRow() >= 0)
            m_table->removeRow(m_table->currentRow());
    });

    auto* box = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Save)->setText(QStringLiteral("&Speichern"));
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);
    resize(560, 360);
}

std::vector<merge::SuppressedAddress> SuppressionDialog::entries() const {
    std::vector<merge::SuppressedAddress> out;
    const auto cell = [this](int row, int column) {
        const QTableWidgetItem* item = m_table->item(row, column);
        return item ? fromQt(item->text()) : std::string();
    };
    for (int row = 0; row < m_table->rowCount(); ++row)
        if (!cell(row, 0).empty())
            out.push_back({cell(row, 0), cell(row, 1), cell(row, 2)});
    return out;
}

}  // namespace sendrix::ui
