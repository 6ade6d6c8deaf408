// The local images of an HTML body: a src that names a file becomes a
// "cid:" of its own, every other byte of the body stays as it was.
#include <gtest/gtest.h>

#include "merge/html_images.h"
#include "platform/error.h"
#include "support/expect_throw.h"
#include "support/temp_folder.h"

using namespace sendrix;
using namespace sendrix::merge;

TEST(HtmlImages, LocalFilesBecomeInlinePartsAndUrlsStayAsTheyAre) {
    test::TempFolder files;
    const std::string logo = files.write("bilder/logo.png", "png");
    const std::string photo = files.write("mit blank.jpg", "jpg");
    struct Row {
        const char* name;
        std::string line;
        std::string expected;
    };
    const Row rows[] = {
        {"relative to the folder", "<p><IMG alt=\"L\" SRC=\"bilder/logo.png\"></p>",
         "<p><IMG alt=\"L\" SRC=\"cid:bild1@sendrix\"></p>"},
        {"same file again, absolute, unquoted", "<img src=" + logo + " width=5>",
         "<img src=cid:bild1@sendrix width=5>"},
        {"file URL with escapes", "<img src='file://" + files.folder() + "mit%20blank.jpg'/>",
         "<img src='cid:bild2@sendrix'/>"},
        {"URLs and data-src",
         "<img data-src=\"x.png\" src=\"https://v.example/a.png\"><img src=\"cid:eigen\">",
         "<img data-src=\"x.png\" src=\"https://v.example/a.png\"><img src=\"cid:eigen\">"},
        {"no image", "<p>src=\"bilder/logo.png\"</p>", "<p>src=\"bilder/logo.png\"</p>"},
    };
    std::vector<std::string> lines;
    for (const Row& row : rows)
        lines.push_back(row.line);
    const EmbeddedImages embedded = embedLocalImages(lines, files.folder());
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(embedded.lines.at(i), rows[i].expected);
    }
    ASSERT_EQ(embedded.images.size(), 2u);
    EXPECT_EQ(embedded.images[0].fileName, files.folder() + "bilder/logo.png");
    EXPECT_EQ(embedded.images[1].fileName, photo);
    EXPECT_EQ(embedded.images[1].contentId, "bild2@sendrix");
}

TEST(HtmlImages, AMissingFileIsAnErrorNamingIt) {
    test::TempFolder files;
    test::expectThrowText<FileError>(
        [&] { embedLocalImages({"<img src=\"fehlt.png\">"}, files.folder()); },
        "Das Bild " + files.folder() + "fehlt.png im Nachrichtentext ist nicht zu finden.");
}

TEST(HtmlImages, ATagOverSeveralLinesIsEmbeddedAndTheLinesStay) {
    test::TempFolder files;
    files.write("logo.png", "png");
    const EmbeddedImages embedded = embedLocalImages(
        {"<p><img alt=\"Logo\"", "\tsrc=", "\"logo.png\"", " width=\"40\"></p>", ""}, files.folder());
    EXPECT_EQ(embedded.lines, (std::vector<std::string>{"<p><img alt=\"Logo\"", "\tsrc=",
                                                        "\"cid:bild1@sendrix\"", " width=\"40\"></p>", ""}));
    EXPECT_EQ(embedded.images.size(), 1u);
}

TEST(HtmlImages, RelativeImagesJoinTheOldFolderAndOnlyThem) {
    EXPECT_EQ(
        imagePathsAbsoluteIn({"<img src=\"bilder/a.png\"><img src=\"/b.png\"><img src=\"cid:c\">"}, "/alt"),
        (std::vector<std::string>{"<img src=\"/alt/bilder/a.png\"><img src=\"/b.png\"><img src=\"cid:c\">"}));
}
