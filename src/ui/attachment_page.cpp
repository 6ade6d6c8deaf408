#include "ui/attachment_page.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/control_widgets.h"

namespace sendrix::ui {

namespace {

using app::TfrmMessageEditor;

constexpr int kAttachmentListWidth = 318;

// Entries of the attachment list are underlined under the mouse.
class HoverUnderlineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (option->state & QStyle::State_MouseOver)
            option->font.setUnderline(true);
    }
};

}  // namespace

AttachmentPage::AttachmentPage(FormRunner& runner) : m_runner(runner), m_form(runner.form()) {
    setObjectName(QStringLiteral("Anhang"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    m_lvFiles = new QTreeWidget(this);
    m_lvFiles->setObjectName(QStringLiteral("lvFiles"));
    m_lvFiles->setHeaderLabels({QStringLiteral("Dateiname")});
    m_lvFiles->setRootIsDecorated(false);
    m_lvFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_lvFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_lvFiles->setMinimumWidth(kAttachmentListWidth / 2);
    m_lvFiles->setMouseTracking(true);
    m_lvFiles->viewport()->setAttribute(Qt::WA_Hover);
    m_lvFiles->setItemDelegate(new HoverUnderlineDelegate(m_lvFiles));
    layout->addWidget(m_lvFiles, 1);

    auto* buttons = new QVBoxLayout;
    QPushButton* attach = pushButton("btnAttachment", "Datei anhängen", this);
    attach->setToolTip(QStringLiteral("Eine Datei als Anhang mitsenden"));
    QPushButton* remove = pushButton("Button1", "Anhang entfernen", this);
    QPushButton* open = pushButton("BitBtn1", "Anhang öffnen   ", this);
    m_runner.connectRun(this, attach, &QPushButton::clicked, &TfrmMessageEditor::btnAttachmentClick);
    m_runner.connectRun(this, remove, &QPushButton::clicked, &TfrmMessageEditor::Button1Click);
    m_runner.connectRun(this, open, &QPushButton::clicked, &TfrmMessageEditor::BitBtn1Click);
    buttons->addWidget(attach);
    buttons->addWidget(remove);
    buttons->addWidget(open);
    buttons->addStretch();
    layout->addLayout(buttons);

    connect(m_lvFiles, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!m_runner.refreshing())
            m_form.lvFiles.ItemIndex = item ? m_lvFiles->indexOfTopLevelItem(item) : -1;
    });
}

void AttachmentPage::refresh() {
    const QStringList items = toQtList(m_form.lvFiles.Items);
    QStringList shown;
    for (int i = 0; i < m_lvFiles->topLevelItemCount(); ++i)
        shown << m_lvFiles->topLevelItem(i)->text(0);
    const QSignalBlocker blocker(m_lvFiles);
    if (shown != items) {
        m_lvFiles->clear();
        for (const QString& item : items)
            m_lvFiles->addTopLevelItem(new QTreeWidgetItem({item}));
    }
    const int index = m_form.lvFiles.ItemIndex;
    m_lvFiles->setCurrentItem(
        index >= 0 && index < m_lvFiles->topLevelItemCount() ? m_lvFiles->topLevelItem(index) : nullptr);
}

void AttachmentPage::orderTabs() {
    chainTabOrder({m_lvFiles, findChild<QWidget*>(QStringLiteral("btnAttachment")),
                   findChild<QWidget*>(QStringLiteral("Button1")),
                   findChild<QWidget*>(QStringLiteral("BitBtn1"))});
}

}  // namespace sendrix::ui
