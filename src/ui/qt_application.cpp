#include "ui/qt_application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>
#include <string>
#include <vector>

#include "app/handler_runner.h"
#include "app/secret_store.h"
#include "app/tfrm_message_editor.h"
#include "platform/clock.h"
#include "platform/version.h"
#include "ui/icons.h"
#include "ui/main_window.h"
#include "ui/qt_interaction.h"

namespace sendrix::ui {

bool installGermanQtTranslation(QApplication& application) {
    // Lives as long as the application; installing twice is harmless.
    static QTranslator translator;
    if (!translator.isEmpty())
        return true;
    if (!translator.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return application.installTranslator(&translator);
}

int runQtApplication(int& argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
    QApplication::setApplicationVersion(QString::fromLatin1(platform::kProgramVersion));
    // No display name: the desktop would append it to every caption
    // ("Setup — Sendrix"), and the captions are the program's own.
    QApplication::setDesktopFileName(QStringLiteral("sendrix"));
    QApplication::setWindowIcon(imageIcon(Image::Program));

    installGermanQtTranslation(application);

    // QApplication has taken its own options out of argv.
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);

    QtInteraction interaction;
    app::TfrmMessageEditor form(interaction, platform::systemClock(), std::move(arguments));
    // Someone is at the window to answer the keyring's unlock prompt.
    const std::unique_ptr<app::SecretStore> secrets = app::DesktopSecretStore(app::SecretPrompt::Allowed);
    form.Secrets = secrets.get();
    MainWindow window(form, interaction);
    interaction.setWindow(&window);

    // A failing start-up step is shown, and the window opens anyway.
    window.run([&] { form.FormCreate(); });
    window.placeOnScreen();
    if (window.restorePlace())
        window.showMaximized();
    else
        window.show();
    window.run([&] { form.FormShow(); });
    // A first start: the assistant sets up the account.
    if (window.isVisible() && form.AccountMissing())
        window.run([&] { form.KontoEinrichten1Click(); });
    // "/sofort" may have closed the window already; then there is no loop
    // to run.
    if (window.isVisible())
        QApplication::exec();
    interaction.setWindow(nullptr);
    return form.ExitStatus();
}

}  // namespace sendrix::ui
