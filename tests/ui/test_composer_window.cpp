// The composer in the real window offscreen: formatting by shortcut, an
// image and a link, a pasted office clip, the source and back, and a
// mailing saved and opened again; what reaches the model is mail HTML.
#include "window_fixture.h"

#include <QAction>
#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>

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

class ComposerWindowTest : public test::WindowTest {};

}  // namespace

TEST_F(ComposerWindowTest, ComposerWritesMailHtmlThatSurvivesTheSourceAndTheMailingFile) {
    writeSettings("HTML=1\r\n");
    openWindow();
    auto* composer = window->findChild<ui::RichTextComposer*>(QStringLiteral("composer"));
    ASSERT_NE(composer, nullptr);
    QTextEdit* editor = composer->editor();
    ASSERT_TRUE(editor->isVisible());
    editor->setFocus();
    QTest::keyClicks(editor, QStringLiteral("Hallo "));
    QTest::keyClick(editor, Qt::Key_B, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral("fett"));
    QTest::keyClick(editor, Qt::Key_B, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral(" "));
    composer->insertLink(QStringLiteral("https://verein.example/fest"));
    const std::string logo = home.write("wappen.png", fixture("wappen.png"));
    composer->insertImage(QString::fromStdString(logo), QStringLiteral("Wappen"), 48);
    auto* clip = new QMimeData;
    clip->setHtml(QString::fromStdString(fixture("office_clip.html")));
    QApplication::clipboard()->setMimeData(clip);
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);

    const std::string html = joined(form->Memo.Lines);
    for (const char* part :
         {"Hallo <span style=\"font-weight:700\">fett</span>", "<a href=\"https://verein.example/fest\">",
          "alt=\"Wappen\" width=\"48\">", "Sommerfest", "font-style:italic\">Grillen"})
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

    const std::string path = home.path("rundbrief.mailing");
    ASSERT_TRUE(window->run([&] { form->SaveMailing(path); }));
    form->Memo.Lines.clear();
    ASSERT_TRUE(window->run([&] { form->OpenMailing(path); }));
    EXPECT_EQ(joined(form->Memo.Lines), html);
    EXPECT_TRUE(window->findChild<QAction*>(QStringLiteral("formatBold"))->isEnabled());
}
