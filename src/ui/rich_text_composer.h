#pragma once
// The composer of an HTML body: formatted text as in an office program
// (Qt's rich-text editor) with its formatting bar; the same actions make
// the menu "Format". Every edit goes into the model as mail HTML
// (mail/mail_html.h), the source that "Quelltext bearbeiten" shows; the
// model's source comes back into the editor when it changed elsewhere (a
// body file or mailing opened, the source edited).
#include <QWidget>
#include <string>
#include <vector>

#include "ui/composer_editor.h"
#include "ui/form_runner.h"

class QAction;
class QImage;
class QMenu;
class QTextCharFormat;
class QTextEdit;
class QToolBar;

namespace sendrix::ui {

class RichTextComposer : public QWidget {
    Q_OBJECT
public:
    RichTextComposer(FormRunner& runner, QWidget* parent);

    // "Format": every formatting action, also on the composer's bar.
    QMenu* formatMenu() const { return m_formatMenu; }
    // The checkable "Quelltext bearbeiten".
    QAction* sourceAction() const { return m_source; }
    QTextEdit* editor() const { return m_editor; }

    // Shows the model's body when it differs from what the editor made.
    void refresh();
    // Puts `text` in at the cursor as text of the current format.
    void insertAtCursor(const QString& text);
    // An image from `path` (its alt text `alt`, `width` pixels wide, 0: its
    // own width) at the cursor.
    void insertImage(const QString& path, const QString& alt, int width);
    // A link to `target` over the selection (or over `target` itself).
    void insertLink(const QString& target);
    // Pasted or dropped image data: stored as a PNG file in the folder
    // "Bilder" beside the mailing or body file (the program's folder before
    // there is one), then placed as a file is; returns the file, empty when
    // nothing was placed.
    QString insertImageData(const QImage& image);
    // Pasted or dropped image files: PNG, JPEG and GIF are placed, each
    // asking for its alt text and width; any other (SVG) is refused.
    void insertImageFiles(const QStringList& paths);
    // The width of the image at the cursor ("Bildgröße …"): `width` pixels,
    // the height following; false when no image is there.
    bool resizeImageAtCursor(int width);

private:
    QAction* addAction(const QString& text, const char* name, const QKeySequence& key = {});
    void createActions();
    // Merges `format` into the selection, or into the word at the cursor.
    void mergeFormat(const QTextCharFormat& format);
    // 0: a plain paragraph, 1-3: a heading of that level.
    void setHeading(int level);
    void askForImage();
    // Asks for the alt text and width of the image file, then places it.
    void askAndInsertImage(const QString& path);
    void askForImageSize();
    void askForLink();
    void clearFormatting();
    void writeToModel();

    FormRunner& m_runner;
    app::TfrmMessageEditor& m_form;
    ComposerEditor* m_editor = nullptr;
    QToolBar* m_bar = nullptr;
    QMenu* m_formatMenu = nullptr;
    QAction* m_source = nullptr;
    std::vector<std::string> m_shown;
    bool m_loading = false;
};

}  // namespace sendrix::ui
