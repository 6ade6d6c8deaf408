#pragma once
// The main window's size, position and maximised state between starts,
// kept in the user settings file, section [Fenster].
#include <optional>
#include <string>

namespace sendrix::app {

struct WindowPlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool maximized = false;
};

// The stored place, or nothing when a key is missing or no number, or the
// size is not positive (a first start: the window's own default applies).
std::optional<WindowPlace> readWindowPlace(const std::string& userSettingsFile);
// Throws platform's FileError when the file cannot be written.
void writeWindowPlace(const std::string& userSettingsFile, const WindowPlace& place);

// `place` moved and, where needed, made smaller so that it lies wholly in
// `area` (the screen's free area); never smaller than `minWidth` x
// `minHeight` or larger than the area. A place from a larger or a former
// second screen so stays reachable.
WindowPlace fitIntoArea(WindowPlace place, const WindowPlace& area, int minWidth, int minHeight);

}  // namespace sendrix::app
