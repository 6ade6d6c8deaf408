#include "app/window_place.h"

#include <algorithm>

#include "platform/ascii.h"
#include "platform/profile_file.h"
#include "platform/text_trim.h"

namespace sendrix::app {

namespace {

constexpr const char* kSection = "Fenster";

std::optional<int> readNumber(const std::string& file, const char* key) {
    const std::string text = platform::readProfileString(file, kSection, key, "");
    const std::optional<platform::ParsedInteger> number = platform::parseInteger(platform::trimBlanks(text));
    if (!number || number->magnitude > 100'000)
        return std::nullopt;
    const int value = static_cast<int>(number->magnitude);
    return number->negative ? -value : value;
}

}  // namespace

std::optional<WindowPlace> readWindowPlace(const std::string& userSettingsFile) {
    const std::optional<int> x = readNumber(userSettingsFile, "Links");
    const std::optional<int> y = readNumber(userSettingsFile, "Oben");
    const std::optional<int> width = readNumber(userSettingsFile, "Breite");
    const std::optional<int> height = readNumber(userSettingsFile, "Hoehe");
    if (!x || !y || !width || !height || *width <= 0 || *height <= 0)
        return std::nullopt;
    return WindowPlace{*x, *y, *width, *height, readNumber(userSettingsFile, "Maximiert").value_or(0) == 1};
}

void writeWindowPlace(const std::string& userSettingsFile, const WindowPlace& place) {
    platform::writeProfileString(userSettingsFile, kSection, "Links", std::to_string(place.x));
    platform::writeProfileString(userSettingsFile, kSection, "Oben", std::to_string(place.y));
    platform::writeProfileString(userSettingsFile, kSection, "Breite", std::to_string(place.width));
    platform::writeProfileString(userSettingsFile, kSection, "Hoehe", std::to_string(place.height));
    platform::writeProfileString(userSettingsFile, kSection, "Maximiert", place.maximized ? "1" : "0");
}

WindowPlace fitIntoArea(WindowPlace place, const WindowPlace& area, int minWidth, int minHeight) {
    place.width = std::clamp(place.width, std::min(minWidth, area.width), area.width);
    place.height = std::clamp(place.height, std::min(minHeight, area.height), area.height);
    place.x = std::clamp(place.x, area.x, area.x + area.width - place.width);
    place.y = std::clamp(place.y, area.y, area.y + area.height - place.height);
    return place;
}

}  // namespace sendrix::app
