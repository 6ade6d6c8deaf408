#include "app/mail_providers.h"

#include "app/mail_settings.h"

namespace sendrix::app {

const std::vector<MailProvider>& mailProviders() {
    static const std::vector<MailProvider> providers = {
        // GMX help "E-Mail-Programm einrichten: POP3, IMAP und SMTP" (hilfe.gmx.net):
        // mail.gmx.net, 587 with STARTTLS (465 with SSL/TLS also offered).
        {"GMX", "mail.gmx.net", 587, kEncryptionStartTls},
        // WEB.DE help "POP3/IMAP/SMTP einrichten" (hilfe.web.de): smtp.web.de, 587, STARTTLS.
        {"WEB.DE", "smtp.web.de", 587, kEncryptionStartTls},
        // Telekom help "E-Mail-Programm einrichten" (telekom.de/hilfe):
        // securesmtp.t-online.de, 465 with SSL/TLS (587 with STARTTLS also offered).
        {"T-Online", "securesmtp.t-online.de", 465, kEncryptionTls},
        // Google Workspace help "Send email from a printer, scanner, or app"
        // (support.google.com/a/answer/176600): smtp.gmail.com, 587 with TLS (STARTTLS).
        {"Gmail", "smtp.gmail.com", 587, kEncryptionStartTls},
        // Microsoft support "POP, IMAP and SMTP settings for Outlook.com"
        // (support.microsoft.com): smtp-mail.outlook.com, 587, STARTTLS.
        {"Outlook.com", "smtp-mail.outlook.com", 587, kEncryptionStartTls},
        // Microsoft Learn "How to set up a multifunction device or application to send
        // email using Microsoft 365" (SMTP AUTH client submission): smtp.office365.com,
        // 587, STARTTLS.
        {"Microsoft 365", "smtp.office365.com", 587, kEncryptionStartTls},
        // IONOS help "Server-Informationen für E-Mail-Programme" (ionos.de/hilfe):
        // smtp.ionos.de, 465 with SSL/TLS (587 with STARTTLS also offered).
        {"IONOS", "smtp.ionos.de", 465, kEncryptionTls},
        // STRATO FAQ "Welche Server-Adressen ... für E-Mail-Programme" (strato.de/faq):
        // smtp.strato.de, 465 with SSL/TLS.
        {"Strato", "smtp.strato.de", 465, kEncryptionTls},
        // mailbox.org knowledge base "Mail-Client einrichten" (kb.mailbox.org):
        // smtp.mailbox.org, 465 with SSL/TLS (587 with STARTTLS also offered).
        {"mailbox.org", "smtp.mailbox.org", 465, kEncryptionTls},
        // Posteo help "Welche Server-Einstellungen ... E-Mail-Programm" (posteo.de/hilfe):
        // posteo.de, 587 with STARTTLS (465 with SSL/TLS also offered).
        {"Posteo", "posteo.de", 587, kEncryptionStartTls},
    };
    return providers;
}

}  // namespace sendrix::app
