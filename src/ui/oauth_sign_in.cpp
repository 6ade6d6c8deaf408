#include "ui/oauth_sign_in.h"

#include <QMessageBox>

namespace sendrix::ui {

bool signInWithOAuth(QWidget* parent, const OAuthSignInRequest&) {
    QMessageBox::warning(parent, QStringLiteral("Anmeldung"),
                         QStringLiteral("Die Anmeldung im Browser ist in dieser Ausgabe noch nicht verfügbar."));
    return false;
}

}  // namespace sendrix::ui
