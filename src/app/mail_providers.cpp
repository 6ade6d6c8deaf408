#include "app/mail_providers.h"

#include "app/mail_settings.h"

namespace sendrix::app {

// Pace: a provider that publishes no limit per minute gets none (0), and one
// message per connection unless noted; the run waits and retries after a
// temporary refusal anyway.
const std::vector<MailProvider>& mailProviders() {
    static const std::vector<MailProvider> providers = {
        // GMX help "E-Mail-Programm einrichten: POP3, IMAP und SMTP" (hilfe.gmx.net):
        // mail.gmx.net, 587 with STARTTLS (465 with SSL/TLS also offered).
        // Pace: no limit per minute published.
        {"GMX", "mail.gmx.net", 587, kEncryptionStartTls, 0, 1},
        // WEB.DE help "POP3/IMAP/SMTP einrichten" (hilfe.web.de): smtp.web.de, 587, STARTTLS.
        // Pace: no limit per minute published.
        {"WEB.DE", "smtp.web.de", 587, kEncryptionStartTls, 0, 1},
        // Telekom help "E-Mail-Programm einrichten" (telekom.de/hilfe):
        // securesmtp.t-online.de, 465 with SSL/TLS (587 with STARTTLS also offered).
        // Pace: no limit per minute published.
        {"T-Online", "securesmtp.t-online.de", 465, kEncryptionTls, 0, 1},
        // Google Workspace help "Send email from a printer, scanner, or app"
        // (support.google.com/a/answer/176600): smtp.gmail.com, 587 with TLS (STARTTLS).
        // Pace: Gmail answers a login per message with "454 4.7.0 Too many login
        // attempts"; Google publishes no limit per connection, so 20 messages
        // share one login (our choice) and the daily limit stays Google's.
        {"Gmail", "smtp.gmail.com", 587, kEncryptionStartTls, 0, 20},
        // Microsoft support "POP, IMAP and SMTP settings for Outlook.com"
        // (support.microsoft.com): smtp-mail.outlook.com, 587, STARTTLS.
        // Pace: no limit per minute published (only daily recipient limits).
        {"Outlook.com", "smtp-mail.outlook.com", 587, kEncryptionStartTls, 0, 1},
        // Microsoft Learn "How to set up a multifunction device or application to send
        // email using Microsoft 365" (SMTP AUTH client submission): smtp.office365.com,
        // 587, STARTTLS.
        // Pace: Microsoft Learn "Exchange Online limits", sending limits: message
        // rate limit 30 messages a minute.
        {"Microsoft 365", "smtp.office365.com", 587, kEncryptionStartTls, 30, 1},
        // IONOS help "Server-Informationen für E-Mail-Programme" (ionos.de/hilfe):
        // smtp.ionos.de, 465 with SSL/TLS (587 with STARTTLS also offered).
        // Pace: IONOS limits recipients per hour by contract (50 an hour on new
        // contracts), which a limit per minute cannot express; none is set.
        {"IONOS", "smtp.ionos.de", 465, kEncryptionTls, 0, 1},
        // STRATO FAQ "Welche Server-Adressen ... für E-Mail-Programme" (strato.de/faq):
        // smtp.strato.de, 465 with SSL/TLS.
        // Pace: no limit per minute published.
        {"Strato", "smtp.strato.de", 465, kEncryptionTls, 0, 1},
        // mailbox.org knowledge base "Mail-Client einrichten" (kb.mailbox.org):
        // smtp.mailbox.org, 465 with SSL/TLS (587 with STARTTLS also offered).
        // Pace: no limit per minute published.
        {"mailbox.org", "smtp.mailbox.org", 465, kEncryptionTls, 0, 1},
        // Posteo help "Welche Server-Einstellungen ... E-Mail-Programm" (posteo.de/hilfe):
        // posteo.de, 587 with STARTTLS (465 with SSL/TLS also offered).
        // Pace: no limit per minute published.
        {"Posteo", "posteo.de", 587, kEncryptionStartTls, 0, 1},
    };
    return providers;
}

}  // namespace sendrix::app
