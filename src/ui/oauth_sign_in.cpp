#include "ui/oauth_sign_in.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

#include <chrono>

#include "app/oauth_flow.h"
#include "app/oauth_token_store.h"
#include "platform/profile_file.h"
#include "platform/text_trim.h"
#include "ui/qt_text.h"

namespace sendrix::ui {

namespace {

// Long enough to sign in with a second factor, short enough that a
// forgotten browser tab does not hold the port for ever.
constexpr auto kSignInTimeLimit = std::chrono::minutes(5);

const QString kTitle = QStringLiteral("Anmeldung");

// Asks for the client ID of a registered desktop application; empty when
// the user cancels.
std::string askClientId(QWidget* parent, const std::string& providerName) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dlgOAuthClientId"));
    dialog.setWindowTitle(kTitle);
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QLabel(
        QStringLiteral("Für die Anmeldung bei %1 braucht Sendrix die Client-ID einer registrierten "
                       "Desktop-Anwendung. Wie ein Administrator sie anlegt, steht im "
                       "<a href=\"%2\">Handbuch unter „Anwendung registrieren (OAuth 2)“</a>.")
            .arg(toQt(providerName).toHtmlEscaped(), QString::fromLatin1(app::kClientIdHelpUrl)),
        &dialog);
    text->setWordWrap(true);
    text->setTextFormat(Qt::RichText);
    text->setOpenExternalLinks(true);
    auto* edit = new QLineEdit(&dialog);
    edit->setObjectName(QStringLiteral("edtOAuthClientId"));
    edit->setPlaceholderText(QStringLiteral("Client-ID (Anwendungs-ID)"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(text);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return std::string(platform::trimBlanks(fromQt(edit->text())));
}

std::string providerKeyOf(const OAuthSignInRequest& request) {
    if (!request.provider.empty())
        return request.provider;
    const std::string stored = platform::readProfileString(request.mailIni, "Smtp", "OAuthProvider", "");
    return stored.empty() ? app::GuessOAuthProvider(request.server) : stored;
}

// The sign-in itself; throws sendrix::Error with the German reason, returns
// false when the user cancelled before the browser was started.
bool signIn(QWidget* parent, const OAuthSignInRequest& request) {
    const std::string key = providerKeyOf(request);
    app::OAuthProvider provider = app::ReadOAuthProvider(request.mailIni, key);
    if (provider.clientId.empty()) {
        const std::string clientId = askClientId(parent, provider.name);
        if (clientId.empty())
            return false;
        platform::writeProfileString(request.mailIni, "Smtp", "OAuthClientId", clientId);
        provider.clientId = clientId;
    }
    QProgressDialog progress(parent);
    progress.setObjectName(QStringLiteral("dlgOAuthProgress"));
    progress.setWindowTitle(kTitle);
    progress.setLabelText(QStringLiteral("Bitte im Browser bei %1 anmelden …").arg(toQt(provider.name)));
    progress.setCancelButtonText(QStringLiteral("Abbrechen"));
    progress.setRange(0, 0);
    progress.setMinimumDuration(0);
    progress.setWindowModality(Qt::WindowModal);
    progress.show();
    const auto deadline = std::chrono::steady_clock::now() + kSignInTimeLimit;
    const app::OAuthTokens tokens = app::SignInWithBrowser(
        provider, request.user,
        [&] {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            return !progress.wasCanceled() && std::chrono::steady_clock::now() < deadline;
        },
        [&](const std::string& url) {
            progress.setLabelText(
                QStringLiteral(
                    "Der Browser lässt sich nicht öffnen. Bitte diese Adresse im Browser aufrufen:\n%1")
                    .arg(toQt(url)));
        });
    if (tokens.refreshToken.empty())
        throw Error(provider.name + " hat kein Token für spätere Anmeldungen geliefert (refresh_token).");
    app::StoreRefreshToken(request.mailIni, request.server, request.user, provider.key, tokens.refreshToken,
                           request.secrets, request.storeInFile);
    return true;
}

}  // namespace

bool signInWithOAuth(QWidget* parent, const OAuthSignInRequest& request) {
    try {
        if (!signIn(parent, request))
            return false;
        QMessageBox::information(parent, kTitle,
                                 QStringLiteral("Angemeldet. Sendrix meldet das Konto %1 künftig selbst an.")
                                     .arg(toQt(request.user)));
        return true;
    } catch (const std::exception& error) {
        QMessageBox::warning(parent, kTitle, toQt(error.what()));
        return false;
    }
}

}  // namespace sendrix::ui
