// The main window's place between starts: what is read back, and how a
// place from another screen is brought onto this one.
#include <gtest/gtest.h>

#include "app/window_place.h"
#include "platform/profile_file.h"
#include "support/temp_folder.h"

namespace sendrix::app {
namespace {

TEST(WindowPlace, APlaceOffTheScreenOrLargerThanItIsMovedAndShrunkIntoIt) {
    const WindowPlace screen{0, 30, 1280, 770, false};
    struct Row {
        const char* name;
        WindowPlace stored, expected;
    } rows[] = {
        {"inside: unchanged", {100, 100, 800, 600, true}, {100, 100, 800, 600, true}},
        {"right of the screen (a second screen gone)",
         {2000, 100, 800, 600, false},
         {480, 100, 800, 600, false}},
        {"above and left", {-50, 0, 800, 600, false}, {0, 30, 800, 600, false}},
        {"larger than the screen", {0, 0, 3000, 2000, false}, {0, 30, 1280, 770, false}},
        {"smaller than the window can be", {10, 40, 100, 50, false}, {10, 40, 500, 400, false}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const WindowPlace fitted = fitIntoArea(row.stored, screen, 500, 400);
        EXPECT_EQ(fitted.x, row.expected.x);
        EXPECT_EQ(fitted.y, row.expected.y);
        EXPECT_EQ(fitted.width, row.expected.width);
        EXPECT_EQ(fitted.height, row.expected.height);
        EXPECT_EQ(fitted.maximized, row.expected.maximized);
    }
}

TEST(WindowPlace, OnlyAWholePlaceIsReadBack) {
    test::TempFolder home;
    const std::string file = home.path("anna.ini");
    EXPECT_FALSE(readWindowPlace(file).has_value());  // first start
    writeWindowPlace(file, {-20, 40, 900, 700, true});
    const std::optional<WindowPlace> read = readWindowPlace(file);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->x, -20);
    EXPECT_EQ(read->height, 700);
    EXPECT_TRUE(read->maximized);
    for (const char* width : {"0", "breit", ""}) {
        SCOPED_TRACE(width);
        platform::writeProfileString(file, "Fenster", "Breite", width);
        EXPECT_FALSE(readWindowPlace(file).has_value());
    }
}

}  // namespace
}  // namespace sendrix::app
