#include "ui/preview_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <map>

#include "ui/qt_text.h"

namespace sendrix::ui {

// The HTML of a message with its "cid:" images taken from their files, as a
// mail program shows the parts of a multipart/related; nothing else is
// fetched (no remote image, no local path).
class MailHtmlView : public QTextBrowser {
public:
    explicit MailHtmlView(QWidget* parent) : QTextBrowser(parent) {
        setObjectName(QStringLiteral("htmlVorschau"));
        setOpenLinks(false);
    }

    void showMessage(const app::PreviewMessage& message) {
        m_images.clear();
        for (const mail::TIdInlineImage& image : message.images)
            m_images[QStringLiteral("cid:") + toQt(image.contentId)] = toQt(image.fileName);
        setHtml(toQt(message.html));
    }

    QVariant loadResource(int type, const QUrl& name) override {
        const auto image = m_images.find(name.toString());
        if (type != QTextDocument::ImageResource || image == m_images.end())
            return {};
        return QImage(image->second);
    }

private:
    std::map<QString, QString> m_images;
};

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
    m_rows = new QComboBox(this);
    m_rows->setObjectName(QStringLiteral("cboZeile"));
    for (const std::string& choice : m_model.RowChoices())
        m_rows->addItem(toQt(choice));
    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("pgVorschau"));
    m_html = new MailHtmlView(m_pages);
    m_message = new QPlainTextEdit(m_pages);
    m_message->setObjectName(QStringLiteral("memoVorschau"));
    m_message->setReadOnly(true);
    m_message->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_pages->addTab(m_html, QStringLiteral("HTML"));
    m_pages->addTab(m_message, QStringLiteral("Text und Kopfzeilen"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QString::fromUtf8("Schließen"));

    auto* steps = new QHBoxLayout;
    steps->addWidget(m_back);
    steps->addWidget(m_position, 1, Qt::AlignCenter);
    steps->addWidget(m_rows, 1);
    steps->addWidget(m_on);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(steps);
    layout->addWidget(m_pages, 1);
    layout->addWidget(buttons);

    connect(m_back, &QPushButton::clicked, this, [this] {
        m_model.Back();
        refreshFromModel();
    });
    connect(m_on, &QPushButton::clicked, this, [this] {
        m_model.On();
        refreshFromModel();
    });
    connect(m_rows, &QComboBox::activated, this, [this](int index) {
        m_model.Choose(index);
        refreshFromModel();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // Never larger than the screen's free area.
    QSize size(700, 600);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size());
    resize(size);
    refreshFromModel();
}

void PreviewDialog::refreshFromModel() {
    m_position->setText(toQt(m_model.Caption()));
    m_rows->setCurrentIndex(m_model.Position());
    const app::PreviewMessage message = m_model.Message();
    QStringList lines;
    for (const std::string& line : message.TextPage())
        lines << toQt(line);
    m_message->setPlainText(lines.join(QLatin1Char('\n')));
    // A text mailing has no HTML page: the text is what arrives.
    const bool html = !message.html.empty();
    m_pages->setTabVisible(0, html);
    m_html->showMessage(message);
    if (!html)
        m_pages->setCurrentWidget(m_message);
    m_back->setEnabled(m_model.CanGoBack());
    m_on->setEnabled(m_model.CanGoOn());
}

}  // namespace sendrix::ui
