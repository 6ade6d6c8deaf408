#pragma once
// Conversions between the model's UTF-8 strings and Qt's strings.
#include <QFont>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace sendrix::ui {

inline QString toQt(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string fromQt(const QString& text) {
    return text.toUtf8().toStdString();
}

// The forms' font, "MS Sans Serif" at 8 points: that face where it is
// installed, else a face of about its width (Liberation Sans, Arial, Nimbus
// Sans), else the system's sans serif, so the labels fit their places.
QFont formFont(const QFont& base);

// The lines of a memo joined as a text field shows them, and back. Every
// line is kept (also a last empty one), so a round trip changes nothing.
QString joinLines(const std::vector<std::string>& lines);
std::vector<std::string> splitLines(const QString& text);

}  // namespace sendrix::ui
