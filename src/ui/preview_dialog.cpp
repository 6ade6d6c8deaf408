#include "ui/preview_dialog.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/qt_text.h"

namespace sendrix::ui {

PreviewDialog::PreviewDialog(app::MessagePreview& model, QWidget* parent) : QDialog(parent), m_model(model) {
    setObjectName(QStringLiteral("Vorschau"));
    setWindowTitle(QStringLiteral("Vorschau"));

    m_back = new QPushButton(QString::fromUtf8("\xe2\x97\x80"), this);  // ◀
    m_back->setObjectName(QStringLiteral("btnZurueck"));
    m_back->setToolTip(QString::fromUtf8("Vorige markierte Zeile"));
    m_on = new QPushButton(QString::fromUtf8("\xe2\x96\xb6"), this);  // ▶
    m_on->setObjectName(QStringLiteral("btnWeiter"));
    m_on->setToolTip(QString::fromUtf8("Nächste markierte Zeile"));
    m_position = new QLabel(this);
    m_position->setObjectName(QStringLiteral("lblZeile"));
    m_message = new QPlainTextEdit(this);
    m_message->setObjectName(QStringLiteral("memoVorschau"));
    m_message->setReadOnly(true);
    m_message->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QString::fromUtf8("Schließen"));

    auto* steps = new QHBoxLayout;
    steps->addWidget(m_back);
    steps->addWidget(m_position, 1, Qt::AlignCenter);
    steps->addWidget(m_on);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(steps);
    layout->addWidget(m_message, 1);
    layout->addWidget(buttons);

    connect(m_back, &QPushButton::clicked, this, [this] {
        m_model.Back();
        refreshFromModel();
    });
    connect(m_on, &QPushButton::clicked, this, [this] {
        m_model.On();
        refreshFromModel();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // Never larger than the screen's free area.
    QSize size(640, 560);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size());
    resize(size);
    refreshFromModel();
}

void PreviewDialog::refreshFromModel() {
    m_position->setText(toQt(m_model.Caption()));
    QStringList lines;
    for (const std::string& line : m_model.Lines())
        lines << toQt(line);
    m_message->setPlainText(lines.join(QLatin1Char('\n')));
    m_back->setEnabled(m_model.CanGoBack());
    m_on->setEnabled(m_model.CanGoOn());
}

}  // namespace sendrix::ui
