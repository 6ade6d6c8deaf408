// Writes the handbook (handbuch.html) from the README's section "Handbuch",
// so the program's help and the README are one text. Built and run at build
// time: make_handbook README.md handbuch.html
#include <QFile>
#include <QGuiApplication>
#include <QTextDocument>

#include <cstdio>
#include <exception>

#include "app/handbook.h"
#include "platform/text_file.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Aufruf: make_handbook README.md handbuch.html\n");
        return 2;
    }
    QGuiApplication application(argc, argv);
    try {
        const std::string section = sendrix::app::handbookSection(sendrix::platform::readFileBytes(argv[1]));
        if (section.empty()) {
            std::fprintf(stderr, "%s hat keinen Abschnitt \"## Handbuch\"\n", argv[1]);
            return 1;
        }
        QTextDocument document;
        document.setMarkdown(QString::fromStdString(section));
        document.setMetaInformation(QTextDocument::DocumentTitle, QStringLiteral("Sendrix – Handbuch"));
        QFile out(QString::fromLocal8Bit(argv[2]));
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            out.write(document.toHtml().toUtf8()) < 0 || !out.flush()) {
            std::fprintf(stderr, "%s: %s\n", argv[2], out.errorString().toLocal8Bit().constData());
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
