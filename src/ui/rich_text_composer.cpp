#include "ui/rich_text_composer.h"

#include <QAction>
#include <QColorDialog>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include "mail/mail_html.h"
#include "platform/system_info.h"
#include "ui/composer_editor.h"
#include "ui/qt_text.h"

namespace sendrix::ui {

namespace {

// The sizes of headings 1 to 3 as Qt's own heading markup sets them.
constexpr int kHeadingSizeAdjustment[] = {0, 3, 2, 1};

// Wider images overflow a reader's window; the person can change it.
constexpr int kLargestProposedWidth = 600;

// Mail programs show PNG, JPEG and GIF reliably; SVG often not at all.
// A cursor selecting the image selected, or the one just before or after
// `at`; a null cursor when there is none.
QTextCursor imageAt(const QTextCursor& at) {
    const int first = at.hasSelection() ? at.selectionStart() : at.position() - 1;
    const int last = at.hasSelection() ? at.selectionStart() : at.position();
    for (int start = std::max(first, 0); start <= last; ++start) {
        QTextCursor one(at.document());
        one.setPosition(start);
        // The format of a selection's one character is the one before its end.
        if (one.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor) &&
            one.charFormat().isImageFormat())
            return one;
    }
    return {};
}

bool isMailImage(const QString& path) {
    const QByteArray format = QImageReader::imageFormat(path);
    return format == "png" || format == "jpeg" || format == "gif";
}

}  // namespace

RichTextComposer::RichTextComposer(FormRunner& runner, QWidget* parent)
    : QWidget(parent), m_runner(runner), m_form(runner.form()) {
    setObjectName(QStringLiteral("composer"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_bar = new QToolBar(this);
    m_bar->setObjectName(QStringLiteral("formatBar"));
    m_bar->setIconSize(QSize(16, 16));
    m_formatMenu = new QMenu(QStringLiteral("F&ormat"), this);
    m_formatMenu->setObjectName(QStringLiteral("formatMenu"));
    m_editor = new ComposerEditor(this);
    m_editor->setObjectName(QStringLiteral("richMemo"));
    connect(m_editor, &ComposerEditor::imagePasted, this,
            [this](const QImage& image) { insertImageData(image); });
    connect(m_editor, &ComposerEditor::imageFilesPasted, this,
            [this](const QStringList& paths) { insertImageFiles(paths); });
    layout->addWidget(m_bar);
    layout->addWidget(m_editor, 1);
    createActions();
    connect(m_editor, &QTextEdit::textChanged, this, [this] {
        if (!m_loading && !m_runner.refreshing())
            writeToModel();
    });
}

QAction* RichTextComposer::addAction(const QString& text, const char* name, const QKeySequence& key) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(key);
    // The shortcuts act while the editor has the focus, not in other fields.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_editor->addAction(action);
    m_formatMenu->addAction(action);
    m_bar->addAction(action);
    return action;
}

void RichTextComposer::createActions() {
    auto charAction = [this](const QString& text, const char* name, const QKeySequence& key, auto apply) {
        QAction* action = addAction(text, name, key);
        connect(action, &QAction::triggered, this, [this, apply] {
            QTextCharFormat format;
            apply(format, m_editor->currentCharFormat());
            mergeFormat(format);
        });
    };
    charAction(QStringLiteral("Fett"), "formatBold", QKeySequence::Bold,
               [](QTextCharFormat& f, const QTextCharFormat& now) {
                   f.setFontWeight(now.fontWeight() > QFont::Normal ? QFont::Normal : QFont::Bold);
               });
    charAction(QStringLiteral("Kursiv"), "formatItalic", QKeySequence::Italic,
               [](QTextCharFormat& f, const QTextCharFormat& now) { f.setFontItalic(!now.fontItalic()); });
    charAction(
        QStringLiteral("Unterstrichen"), "formatUnderline", QKeySequence::Underline,
        [](QTextCharFormat& f, const QTextCharFormat& now) { f.setFontUnderline(!now.fontUnderline()); });
    m_formatMenu->addSeparator();
    for (int level = 1; level <= 3; ++level) {
        QAction* heading = addAction(QStringLiteral("Überschrift %1").arg(level),
                                     QStringLiteral("formatHeading%1").arg(level).toLatin1().constData());
        connect(heading, &QAction::triggered, this, [this, level] { setHeading(level); });
    }
    connect(addAction(QStringLiteral("Absatz"), "formatParagraph"), &QAction::triggered, this,
            [this] { setHeading(0); });
    auto listAction = [this](const QString& text, const char* name, QTextListFormat::Style style) {
        connect(addAction(text, name), &QAction::triggered, this,
                [this, style] { m_editor->textCursor().createList(style); });
    };
    listAction(QStringLiteral("Aufzählung"), "formatBullets", QTextListFormat::ListDisc);
    listAction(QStringLiteral("Nummerierung"), "formatNumbers", QTextListFormat::ListDecimal);
    m_formatMenu->addSeparator();
    auto alignAction = [this](const QString& text, const char* name, Qt::Alignment alignment) {
        connect(addAction(text, name), &QAction::triggered, this,
                [this, alignment] { m_editor->setAlignment(alignment); });
    };
    alignAction(QStringLiteral("Linksbündig"), "formatLeft", Qt::AlignLeft);
    alignAction(QStringLiteral("Zentriert"), "formatCenter", Qt::AlignHCenter);
    alignAction(QStringLiteral("Rechtsbündig"), "formatRight", Qt::AlignRight);
    connect(addAction(QStringLiteral("Textfarbe …"), "formatColor"), &QAction::triggered, this, [this] {
        const QColor color = QColorDialog::getColor(m_editor->textColor(), this, QStringLiteral("Textfarbe"));
        if (!color.isValid())
            return;
        QTextCharFormat format;
        format.setForeground(color);
        mergeFormat(format);
    });
    auto sizeAction = [this](const QString& text, const char* name, qreal factor) {
        connect(addAction(text, name), &QAction::triggered, this, [this, factor] {
            QTextCharFormat format;
            format.setFontPointSize(
                std::max<qreal>(6, m_editor->currentCharFormat().font().pointSizeF() * factor));
            mergeFormat(format);
        });
    };
    sizeAction(QStringLiteral("Schrift größer"), "formatLarger", 1.25);
    sizeAction(QStringLiteral("Schrift kleiner"), "formatSmaller", 0.8);
    connect(addAction(QStringLiteral("Formatierung entfernen"), "formatClear"), &QAction::triggered, this,
            [this] { clearFormatting(); });
    m_formatMenu->addSeparator();
    connect(addAction(QStringLiteral("Link einfügen/bearbeiten …"), "formatLink", Qt::CTRL | Qt::Key_K),
            &QAction::triggered, this, [this] { askForLink(); });
    connect(addAction(QStringLiteral("Bild einfügen …"), "formatImage"), &QAction::triggered, this,
            [this] { askForImage(); });
    connect(addAction(QStringLiteral("Bildgröße …"), "formatImageSize"), &QAction::triggered, this,
            [this] { askForImageSize(); });
    m_formatMenu->addSeparator();
    m_source = addAction(QStringLiteral("Quelltext bearbeiten"), "formatSource");
    m_source->setCheckable(true);
}

void RichTextComposer::mergeFormat(const QTextCharFormat& format) {
    QTextCursor cursor = m_editor->textCursor();
    if (!cursor.hasSelection()) {
        // As in an office program: inside a word the word changes; at its
        // start or end only what is typed next.
        const int at = cursor.position();
        cursor.select(QTextCursor::WordUnderCursor);
        if (cursor.selectionStart() == at || cursor.selectionEnd() == at)
            cursor.clearSelection();
    }
    if (cursor.hasSelection())
        cursor.mergeCharFormat(format);
    m_editor->mergeCurrentCharFormat(format);
}

void RichTextComposer::setHeading(int level) {
    QTextCursor cursor = m_editor->textCursor();
    cursor.beginEditBlock();
    QTextBlockFormat block = cursor.blockFormat();
    block.setHeadingLevel(level);
    cursor.setBlockFormat(block);
    QTextCharFormat format;
    format.setFontWeight(level > 0 ? QFont::Bold : QFont::Normal);
    format.setProperty(QTextFormat::FontSizeAdjustment, kHeadingSizeAdjustment[level]);
    cursor.select(QTextCursor::BlockUnderCursor);
    cursor.mergeCharFormat(format);
    cursor.endEditBlock();
    m_editor->mergeCurrentCharFormat(format);
}

void RichTextComposer::clearFormatting() {
    QTextCursor cursor = m_editor->textCursor();
    if (!cursor.hasSelection())
        cursor.select(QTextCursor::BlockUnderCursor);
    cursor.setCharFormat(QTextCharFormat());
    m_editor->setCurrentCharFormat(QTextCharFormat());
}

void RichTextComposer::insertAtCursor(const QString& text) {
    m_editor->insertPlainText(text);
    m_editor->setFocus(Qt::OtherFocusReason);
}

void RichTextComposer::insertImage(const QString& path, const QString& alt, int width) {
    QTextImageFormat image;
    image.setName(path);
    image.setProperty(QTextFormat::ImageAltText, alt);
    if (width > 0)
        image.setWidth(width);
    m_editor->textCursor().insertImage(image);
}

void RichTextComposer::insertLink(const QString& target) {
    QTextCursor cursor = m_editor->textCursor();
    QTextCharFormat format;
    format.setAnchor(true);
    format.setAnchorHref(target);
    format.setFontUnderline(true);
    format.setForeground(QColor(0, 0, 255));
    if (cursor.hasSelection())
        cursor.mergeCharFormat(format);
    else
        cursor.insertText(target, format);
}

void RichTextComposer::askForLink() {
    bool ok = false;
    const QString target =
        QInputDialog::getText(this, QStringLiteral("Link einfügen"), QStringLiteral("Adresse:"),
                              QLineEdit::Normal, m_editor->currentCharFormat().anchorHref(), &ok);
    if (ok && !target.trimmed().isEmpty())
        insertLink(target.trimmed());
}

void RichTextComposer::askForImage() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Bild einfügen"), QString(),
                                                      QStringLiteral("Bilder (*.png *.jpg *.jpeg *.gif)"));
    if (!path.isEmpty())
        insertImageFiles({path});
}

void RichTextComposer::insertImageFiles(const QStringList& paths) {
    for (const QString& path : paths) {
        if (isMailImage(path)) {
            askAndInsertImage(path);
            continue;
        }
        QMessageBox::warning(this, QStringLiteral("Sendrix"),
                             QStringLiteral("Das Bild %1 wird nicht eingefügt: Es ist kein PNG-, JPEG- oder "
                                            "GIF-Bild, und andere Formate (etwa SVG) zeigen viele "
                                            "Mailprogramme nicht an.")
                                 .arg(path));
    }
}

void RichTextComposer::askAndInsertImage(const QString& path) {
    bool ok = false;
    const QString alt = QInputDialog::getText(this, QStringLiteral("Bild einfügen"),
                                              QStringLiteral("Was zeigt das Bild? (Alternativtext)"),
                                              QLineEdit::Normal, QFileInfo(path).completeBaseName(), &ok);
    if (!ok)
        return;
    const QSize size = QImageReader(path).size();
    const int width = QInputDialog::getInt(
        this, QStringLiteral("Bild einfügen"), QStringLiteral("Breite (Pixel):"),
        size.isValid() ? std::min(size.width(), kLargestProposedWidth) : 300, 16, 2000, 10, &ok);
    insertImage(path, alt, ok ? width : 0);
}

QString RichTextComposer::insertImageData(const QImage& image) {
    if (image.isNull())
        return {};
    const QString folder =
        toQt(m_form.BodyFolder.empty() ? platform::programFolder() : m_form.BodyFolder + "/") +
        QStringLiteral("Bilder");
    const QString stem =
        QStringLiteral("Bild-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = folder + QLatin1Char('/') + stem + QStringLiteral(".png");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder + QLatin1Char('/') + stem + QStringLiteral("-%1.png").arg(n);
    if (!QDir().mkpath(folder) || !image.save(path, "PNG")) {
        QMessageBox::critical(
            this, QStringLiteral("Sendrix"),
            QStringLiteral("Das eingefügte Bild kann nicht als %1 gespeichert werden.").arg(path));
        return {};
    }
    askAndInsertImage(path);
    return path;
}

bool RichTextComposer::resizeImageAtCursor(int width) {
    QTextCursor cursor = imageAt(m_editor->textCursor());
    if (cursor.isNull())
        return false;
    QTextImageFormat image = cursor.charFormat().toImageFormat();
    image.setWidth(width);
    image.clearProperty(QTextFormat::ImageHeight);
    cursor.setCharFormat(image);
    return true;
}

void RichTextComposer::askForImageSize() {
    const QTextCursor cursor = imageAt(m_editor->textCursor());
    if (cursor.isNull()) {
        QMessageBox::information(
            this, QStringLiteral("Bildgröße"),
            QStringLiteral("Bitte zuerst hinter das Bild klicken, dessen Größe sich ändern soll."));
        return;
    }
    const QTextImageFormat image = cursor.charFormat().toImageFormat();
    const int now = image.width() > 0 ? int(image.width()) : QImageReader(image.name()).size().width();
    bool ok = false;
    const int width =
        QInputDialog::getInt(this, QStringLiteral("Bildgröße"), QStringLiteral("Breite (Pixel):"),
                             now > 0 ? now : 300, 16, 2000, 10, &ok);
    if (ok)
        resizeImageAtCursor(width);
}

void RichTextComposer::writeToModel() {
    m_shown = splitLines(toQt(mail::ToMailHtml(fromQt(m_editor->toHtml()))));
    m_form.Memo.Lines = m_shown;
}

void RichTextComposer::refresh() {
    if (m_form.Memo.Lines == m_shown)
        return;
    const QScopedValueRollback<bool> loading(m_loading, true);
    const std::string folder = m_form.BodyFolder.empty() ? "." : m_form.BodyFolder;
    m_editor->document()->setBaseUrl(QUrl::fromLocalFile(toQt(folder) + QLatin1Char('/')));
    m_editor->setHtml(joinLines(m_form.Memo.Lines));
    m_shown = m_form.Memo.Lines;
}

}  // namespace sendrix::ui
