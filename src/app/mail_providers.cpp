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
        // IMAP: imap.gmx.net, 993 (same page).
        {"GMX", "mail.gmx.net", 587, kEncryptionStartTls, 0, 1, "imap.gmx.net", false},
        // WEB.DE help "POP3/IMAP/SMTP einrichten" (hilfe.web.de): smtp.web.de, 587, STARTTLS.
        // Pace: no limit per minute published.
        // IMAP: imap.web.de, 993 (same page).
        {"WEB.DE", "smtp.web.de", 587, kEncryptionStartTls, 0, 1, "imap.web.de", false},
        // Telekom help "E-Mail-Programm einrichten" (telekom.de/hilfe):
        // securesmtp.t-online.de, 465 with SSL/TLS (587 with STARTTLS also offered).
        // Pace: no limit per minute published.
        // IMAP: secureimap.t-online.de, 993 (same page).
        {"T-Online", "securesmtp.t-online.de", 465, kEncryptionTls, 0, 1, "secureimap.t-online.de", false},
        // Google Workspace help "Send email from a printer, scanner, or app"
        // (support.google.com/a/answer/176600): smtp.gmail.com, 587 with TLS (STARTTLS).
        // Pace: Gmail answers a login per message with "454 4.7.0 Too many login
        // attempts"; Google publishes no limit per connection, so 20 messages
        // share one login (our choice) and the daily limit stays Google's.
        // IMAP: imap.gmail.com, 993 (Gmail help "Check Gmail through other email platforms");
        // Gmail files mail sent through smtp.gmail.com under "Gesendet" itself.
        {"Gmail", "smtp.gmail.com", 587, kEncryptionStartTls, 0, 20, "imap.gmail.com", true},
        // Microsoft support "POP, IMAP and SMTP settings for Outlook.com"
        // (support.microsoft.com): smtp-mail.outlook.com, 587, STARTTLS.
        // Pace: no limit per minute published (only daily recipient limits).
        // IMAP: outlook.office365.com, 993 (same page); Exchange Online files
        // mail submitted over SMTP AUTH in "Gesendete Elemente" itself.
        {"Outlook.com", "smtp-mail.outlook.com", 587, kEncryptionStartTls, 0, 1, "outlook.office365.com", true},
        // Microsoft Learn "How to set up a multifunction device or application to send
        // email using Microsoft 365" (SMTP AUTH client submission): smtp.office365.com,
        // 587, STARTTLS.
        // Pace: Microsoft Learn "Exchange Online limits", sending limits: message
        // rate limit 30 messages a minute.
        // IMAP: outlook.office365.com, 993; submitted mail is filed in
        // "Gesendete Elemente" by Exchange Online itself.
        {"Microsoft 365", "smtp.office365.com", 587, kEncryptionStartTls, 30, 1, "outlook.office365.com", true},
        // IONOS help "Server-Informationen für E-Mail-Programme" (ionos.de/hilfe):
        // smtp.ionos.de, 465 with SSL/TLS (587 with STARTTLS also offered).
        // Pace: IONOS limits recipients per hour by contract (50 an hour on new
        // contracts), which a limit per minute cannot express; none is set.
        // IMAP: imap.ionos.de, 993 (same page).
        {"IONOS", "smtp.ionos.de", 465, kEncryptionTls, 0, 1, "imap.ionos.de", false},
        // STRATO FAQ "Welche Server-Adressen ... für E-Mail-Programme" (strato.de/faq):
        // smtp.strato.de, 465 with SSL/TLS.
        // Pace: no limit per minute published.
        // IMAP: imap.strato.de, 993 (same page).
        {"Strato", "smtp.strato.de", 465, kEncryptionTls, 0, 1, "imap.strato.de", false},
        // mailbox.org knowledge base "Mail-Client einrichten" (kb.mailbox.org):
        // smtp.mailbox.org, 465 with SSL/TLS (587 with STARTTLS also offered).
        // Pace: no limit per minute published.
        // IMAP: imap.mailbox.org, 993 (same page).
        {"mailbox.org", "smtp.mailbox.org", 465, kEncryptionTls, 0, 1, "imap.mailbox.org", false},
        // Posteo help "Welche Server-Einstellungen ... E-Mail-Programm" (posteo.de/hilfe):
        // posteo.de, 587 with STARTTLS (465 with SSL/TLS also offered).
        // Pace: no limit per minute published.
        // IMAP: posteo.de, 993 (same page).
        {"Posteo", "posteo.de", 587, kEncryptionStartTls, 0, 1, "posteo.de", false},
    };
    return providers;
}

}  // namespace sendrix::app
