#pragma once
// The text field of the composer. What is pasted or dropped arrives as the
// message will carry it: an office or browser clip as mail HTML (fonts,
// styles, scripts, comments and tracking or web images gone), so the editor
// shows the cleaned result at once; images (data or local files) go to the
// composer, which stores and places them.
#include <QStringList>
#include <QTextEdit>

class QImage;

namespace sendrix::ui {

class ComposerEditor : public QTextEdit {
    Q_OBJECT
public:
    explicit ComposerEditor(QWidget* parent);

signals:
    // Image data pasted or dropped (a screenshot, an image copied in a
    // viewer or a browser).
    void imagePasted(const QImage& image);
    // Local files pasted or dropped; every one is an image file.
    void imageFilesPasted(const QStringList& paths);

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
};

// The local files among `source`'s URLs whose name ends in an image type.
QStringList imageFilesOf(const QMimeData* source);

}  // namespace sendrix::ui
