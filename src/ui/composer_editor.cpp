#include "ui/composer_editor.h"

#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QUrl>

#include "mail/mail_html.h"
#include "ui/qt_text.h"

namespace sendrix::ui {

QStringList imageFilesOf(const QMimeData* source) {
    QStringList paths;
    if (!source->hasUrls())
        return paths;
    for (const QUrl& url : source->urls()) {
        const QString suffix = QFileInfo(url.path()).suffix().toLower();
        if (url.isLocalFile() &&
            QStringList{QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"),
                        QStringLiteral("gif"), QStringLiteral("svg"), QStringLiteral("bmp"),
                        QStringLiteral("webp")}
                .contains(suffix))
            paths << url.toLocalFile();
    }
    return paths;
}

ComposerEditor::ComposerEditor(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(true);
}

bool ComposerEditor::canInsertFromMimeData(const QMimeData* source) const {
    return source->hasImage() || !imageFilesOf(source).isEmpty() || QTextEdit::canInsertFromMimeData(source);
}

void ComposerEditor::insertFromMimeData(const QMimeData* source) {
    if (const QStringList files = imageFilesOf(source); !files.isEmpty()) {
        emit imageFilesPasted(files);
        return;
    }
    // A browser copies an image together with a bit of HTML naming its web
    // address: the picture itself is what the person meant.
    if (source->hasImage() && !source->hasText()) {
        emit imagePasted(qvariant_cast<QImage>(source->imageData()));
        return;
    }
    if (source->hasHtml()) {
        insertHtml(toQt(mail::ToMailHtml(fromQt(source->html()), mail::RemoteImages::Drop)));
        return;
    }
    QTextEdit::insertFromMimeData(source);
}

}  // namespace sendrix::ui
