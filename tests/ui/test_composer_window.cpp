// The composer in the real window offscreen: a plain body switched to HTML,
// formatting by shortcut, an image and a link, pasted image data resized, a
// pasted office clip, the source and back, and a mailing saved and opened
// again; what reaches the model is mail HTML, and the HTML sent stays the
// same.
#include "window_fixture.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QImage>
#include <QInputDialog>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>

#include "merge/html_images.h"

#include "support/test_data.h"
#include "ui/rich_text_composer.h"

using namespace sendrix;

namespace {

std::string fixture(const std::string& name) {
    return test::testData("composer/" + name);
}

std::string joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    return all;
}

// An input box gets `value` typed and is accepted.
void answerInput(test::ModalAnswerer& answerer, const QString& value) {
    answerer.then([value](QWidget* box) {
        auto* input = qobject_cast<QInputDialog*>(box);
        ASSERT_NE(input, nullptr);
        if (input->inputMode() == QInputDialog::IntInput)
            input->setIntValue(value.toInt());
        else
            input->setTextValue(value);
        input->accept();
    });
}

class ComposerWindowTest : public test::WindowTest {
protected:
    // The HTML the send run makes of the body: images by cid:.
    std::string sentHtml() const {
        const merge::Mailing mailing = form->ListMailing();
        return joined(
            merge::embedLocalImages(merge::composeSingleAddressBody(mailing.body), mailing.bodyFolder).lines);
    }
};

}  // namespace

TEST_F(ComposerWindowTest, ComposerWritesMailHtmlThatSurvivesTheSourceAndTheMailingFile) {
    openWindow();
    auto* composer = window->findChild<ui::RichTextComposer*>(QStringLiteral("composer"));
    ASSERT_NE(composer, nullptr);
    QTextEdit* editor = composer->editor();
    form->Memo.Lines = {"Liebe Mitglieder,", "wir feiern.", "", "Gruß"};
    window->refreshFromModel();
    QTest::mouseClick(child<QCheckBox>("html"), Qt::LeftButton);
    ASSERT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->toPlainText(), QStringLiteral("Liebe Mitglieder,\nwir feiern.\nGruß"));
    editor->clear();
    editor->setFocus();
    QTest::keyClicks(editor, QStringLiteral("Hallo "));
    QTest::keyClick(editor, Qt::Key_B, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral("fett"));
    QTest::keyClick(editor, Qt::Key_B, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral(" "));
    composer->insertLink(QStringLiteral("https://verein.example/fest"));
    const std::string logo = home.write("wappen.png", fixture("wappen.png"));
    composer->insertImage(QString::fromStdString(logo), QStringLiteral("Wappen"), 48);
    {
        // Image data pasted: stored as a file, alt text and width asked,
        // then made narrower by "Bildgröße …".
        test::ModalAnswerer answerer;
        answerInput(answerer, QStringLiteral("Kreis"));
        answerInput(answerer, QStringLiteral("30"));
        answerInput(answerer, QStringLiteral("24"));
        QImage circle(40, 40, QImage::Format_RGB32);
        circle.fill(Qt::red);
        auto* data = new QMimeData;
        data->setImageData(circle);
        QApplication::clipboard()->setMimeData(data);
        QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
        window->findChild<QAction*>(QStringLiteral("formatImageSize"))->trigger();
        EXPECT_EQ(answerer.pendingSteps(), 0u);
    }
    auto* clip = new QMimeData;
    clip->setHtml(QString::fromStdString(fixture("office_clip.html")));
    QApplication::clipboard()->setMimeData(clip);
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    // The editor shows the clip as it will be sent.
    for (const char* absent : {"Liberation Serif", "tracker.example"})
        EXPECT_EQ(editor->toHtml().indexOf(QLatin1String(absent)), -1) << absent;

    const std::string html = joined(form->Memo.Lines);
    for (const char* part : {"Hallo <span style=\"font-weight:700\">fett</span>",
                             "<a href=\"https://verein.example/fest\">", "alt=\"Wappen\" width=\"48\">",
                             "alt=\"Kreis\" width=\"24\">", "Sommerfest", "font-style:italic\">Grillen"})
        EXPECT_NE(html.find(part), std::string::npos) << part << " in\n" << html;
    for (const char* absent : {"-qt-", "<style", "alert", "tracker.example", "font-family"})
        EXPECT_EQ(html.find(absent), std::string::npos) << absent << " in\n" << html;

    // The source shows the same HTML; back in the composer nothing changes.
    composer->sourceAction()->trigger();
    auto* source = child<QPlainTextEdit>("Memo");
    ASSERT_TRUE(source->isVisible());
    EXPECT_EQ(source->toPlainText().toStdString() + "\n", html);
    composer->sourceAction()->trigger();
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(joined(form->Memo.Lines), html);

    const std::string sent = sentHtml();
    EXPECT_EQ(sent.find(home.folder()), std::string::npos) << sent;
    const std::string path = home.path("rundbrief.mailing");
    ASSERT_TRUE(window->run([&] { form->SaveMailing(path); }));
    form->Memo.Lines.clear();
    ASSERT_TRUE(window->run([&] { form->OpenMailing(path); }));
    EXPECT_EQ(home.read("rundbrief.mailing").find(home.folder()), std::string::npos);
    EXPECT_EQ(sentHtml(), sent);
    EXPECT_TRUE(window->findChild<QAction*>(QStringLiteral("formatBold"))->isEnabled());

    // Off again: "Nein" to losing the formatting keeps the composer.
    test::ModalAnswerer answerer;
    answerer.click(QMessageBox::No);
    QTest::mouseClick(child<QCheckBox>("html"), Qt::LeftButton);
    EXPECT_EQ(answerer.shown.size(), 1u);
    EXPECT_TRUE(form->html.Checked);
    EXPECT_TRUE(editor->isVisible());
}
