#include "ui/qt_text.h"

namespace sendrix::ui {

QFont formFont(const QFont& base) {
    QFont font = base;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("Nimbus Sans"), base.family()});
    font.setPointSize(8);
    return font;
}

QString joinLines(const std::vector<std::string>& lines) {
    QString text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += QLatin1Char('\n');
        text += toQt(lines[i]);
    }
    return text;
}

std::vector<std::string> splitLines(const QString& text) {
    std::vector<std::string> lines;
    if (text.isEmpty())
        return lines;
    for (const QString& line : text.split(QLatin1Char('\n')))
        lines.push_back(fromQt(line));
    return lines;
}

}  // namespace sendrix::ui
