#include "app/program_manual.h"

#include <algorithm>

#include "app/version_info.h"
#include "platform/text_codec.h"

namespace sendrix::app {

namespace {

constexpr const char* kSummary = "Serienmails mit persönlicher Anrede an eine Empfängerliste versenden";
constexpr std::size_t kHelpWidth = 79;
constexpr std::size_t kHelpTermColumn = 26;

// The columns text takes on a console: one per character.
std::size_t columns(const std::string& text) {
    return platform::characterCount(text);
}

// `text` as lines of at most kHelpWidth columns, each but the first indented
// by `indent` blanks; the first continues a line that is `used` columns
// wide already. Words longer than a line stand alone.
std::string wrapped(const std::string& text, std::size_t indent, std::size_t used) {
    std::string out;
    std::size_t column = used;
    std::size_t pos = 0;
    bool lineHasWord = false;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find(' ', pos), text.size());
        const std::string word = text.substr(pos, end - pos);
        pos = end + 1;
        if (word.empty())
            continue;
        if (lineHasWord && column + 1 + columns(word) > kHelpWidth) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            lineHasWord = false;
        }
        if (lineHasWord) {
            out += ' ';
            ++column;
        }
        out += word;
        column += columns(word);
        lineHasWord = true;
    }
    return out + "\n";
}

// man(7) text: a backslash is "\e", a grave accent "\(ga", a minus that
// starts a word (a switch like "--help") is "\-" so that it prints as a
// minus and stays searchable, and a line must not begin with a control
// character ("." or "'").
std::string roffText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\')
            out += "\\e";
        else if (c == '`')  // otherwise typeset as an opening quote
            out += "\\(ga";
        else if (c == '-' && (i == 0 || text[i - 1] == ' ' || text[i - 1] == '-' || text[i - 1] == '"' ||
                              text[i - 1] == '['))
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\''))
        out.insert(0, "\\&");
    return out;
}

// Every minus of a command line or a term is a minus sign.
std::string roffLiteral(const std::string& text) {
    std::string out;
    for (char c : roffText(text)) {
        if (c == '-' && (out.empty() || out.back() != '\\'))
            out += "\\-";
        else
            out += c;
    }
    return out;
}

// A term in bold with its placeholders (after ":" up to ", ") in italics.
std::string roffTerm(const std::string& term) {
    std::string out = "\\fB";
    bool placeholder = false;
    for (std::size_t i = 0; i < term.size(); ++i) {
        if (!placeholder && term[i] == ':') {
            out += ":\\fI";
            placeholder = true;
            continue;
        }
        if (placeholder && term.compare(i, 2, ", ") == 0) {
            out += "\\fR, \\fB";
            placeholder = false;
            ++i;
            continue;
        }
        out += roffLiteral(std::string(1, term[i]));
    }
    return out + "\\fR";
}

std::vector<ManualSection> buildManual() {
    std::vector<ManualSection> manual;

    ManualSection description;
    description.title = "BESCHREIBUNG";
    description.paragraphs = {
        "Sendrix versendet Serienmails: Es lädt eine Empfängerliste, setzt auf Wunsch eine "
        "persönliche Anrede wie „Sehr geehrte%m/w %Name,“ vor den Text, hängt Dateien an und "
        "schickt jedem markierten Empfänger eine eigene Nachricht über eine eigene "
        "SMTP-Verbindung. Fortschritt und Protokoll erscheinen im Fenster, jeder Versuch steht im "
        "monatlichen Versandprotokoll.",
        "Eine Empfängerliste ist eine Textdatei (Windows-1252 oder UTF-8) mit einem Empfänger je "
        "Zeile: Name;Vorname;Email;Typ. Eine Zeile, die mit „Name“ beginnt, ist eine Titelzeile. "
        "Der Typ F oder W steht für eine Frau, H oder M für einen Mann; danach richten sich %m/w "
        "und %mw in der Anrede, %Name und %Vorname werden durch die Felder der Zeile ersetzt.",
        "Mit einer Anzeige (DISPLAY oder WAYLAND_DISPLAY gesetzt) öffnet Sendrix sein Fenster; "
        "ohne Anzeige versendet es nur unbeaufsichtigt mit /sofort.",
    };
    manual.push_back(description);

    ManualSection options;
    options.title = "OPTIONEN";
    options.inHelp = true;
    options.paragraphs = {
        "Das erste Argument wird als Empfängerliste geladen, wenn es eine vorhandene Datei nennt; "
        "eine Mailing-Datei (Endung .mailing oder erste Zeile [Mailing]) wird als ganzes Mailing "
        "geöffnet: Betreff, Text, Empfängerliste, Anhänge und Optionen. "
        "Schalter gelten ohne Rücksicht auf Groß- und Kleinschreibung; ihr Wert ist alles nach dem "
        "Schalter, gekürzt auf 100 Zeichen (200 bei /A:). Ein Wert mit Leerzeichen ist ein "
        "Argument in Anführungszeichen. Steht ein Schalter zweimal da, gilt der spätere.",
    };
    options.items = {
        {"/ANREDE, /KEINEANREDE", "Persönliche Anrede ein bzw. aus."},
        {"/e:ADRESSE, /from:ADRESSE", "Absenderadresse für diesen Start."},
        {"/N:NAME", "Anzeigename des Absenders für diesen Start."},
        {"/s:TEXT, /subject:TEXT", "Betreff."},
        {"/to:ADRESSE", "Ein einzelner Empfänger; eine später geladene Empfängerliste hat Vorrang."},
        {"/cc:ADRESSEN, /bcc:ADRESSEN",
         "Kopie- und Blindkopie-Empfänger jeder Nachricht; „-“ leert das Feld."},
        {"/R:ADRESSE",
         "Antwortadresse (Reply-To); sie hat Vorrang vor „replyto“ der Mail-Konfiguration. "
         "Ein leeres /R: lässt den Wert der Konfiguration gelten."},
        {"/A:DATEI",
         "Hängt eine Datei an; mehrfach möglich. Fehlt eine Datei oder ist sie nicht lesbar, wird "
         "nichts gesendet."},
        {"/B:DATEI", "Lädt den Nachrichtentext aus einer Datei."},
        {"/DT, /DD, /DA", "Hängt Uhrzeit, Datum oder beides an den Betreff an."},
        {"/INI:DATEI", "Eine andere Mail-Konfiguration; das SMTP-Konto kommt immer aus Mail.ini."},
        {"/sofort", "Versendet sofort, ohne die Frage nach der Empfängerzahl, und beendet das Programm."},
        {"/dontsave", "Speichert beim Schließen nichts (nur als ganzes Argument)."},
        {"/fortsetzen",
         "Setzt mit /sofort den letzten unterbrochenen Lauf desselben Mailings fort: Nur Empfänger "
         "ohne Zustellung werden angeschrieben. Ist jener Lauf fertig, sendet Sendrix nichts, sagt das "
         "und endet mit 0 (nur als ganzes Argument)."},
        {"/anmelden",
         "Meldet das Konto aus Mail.ini ohne Browser auf diesem Rechner bei Microsoft oder dem eigenen "
         "Anmeldedienst an (OAuth 2, Gerätecode): zeigt Adresse und Code für ein anderes Gerät, wartet und "
         "speichert die Anmeldung im Schlüsselbund, als /anmelden:datei verschleiert in Mail.ini (für "
         "unbeaufsichtigten Betrieb). Endet mit 0, nach einem Fehler mit 1 (nur als ganzes Argument)."},
        {"/ruecklaeufer, /rückläufer",
         "Prüft mit /sofort statt zu senden die Rückläufer des Mailings: Zustellberichte und "
         "Abmeldungen im Posteingang des IMAP-Kontos seit dem letzten Lauf. Unzustellbare Zeilen "
         "werden im Versandlauf und in der Ergebnisdatei vermerkt, harte Rückläufer und Abmeldungen "
         "kommen auf die Sperrliste. /ruecklaeufer:verschieben verschiebt die bearbeiteten Nachrichten "
         "zudem in den Ordner „Sendrix/Rückläufer“ (nur als ganzes Argument)."},
        {"--help, -h", "Zeigt diese Hilfe auf der Konsole und endet, auch mit Anzeige."},
        {"--version, -V", "Zeigt die Version auf der Konsole und endet, auch mit Anzeige."},
    };
    manual.push_back(options);

    ManualSection unattended;
    unattended.title = "UNBEAUFSICHTIGTER BETRIEB";
    unattended.inHelp = true;
    unattended.paragraphs = {
        "Andere Programme nutzen Sendrix als Versand-Backend, oft auf Rechnern ohne Anzeige. Ist "
        "weder DISPLAY noch WAYLAND_DISPLAY gesetzt, läuft Sendrix mit /sofort ohne Fenster: Das "
        "Protokoll geht während des Versands auf die Standardausgabe, Hinweise, Warnungen und "
        "Fehler gehen auf die Standardfehlerausgabe, und eine Frage, die einen Menschen bräuchte, "
        "wird mit Nein beantwortet (und das auf der Standardfehlerausgabe gesagt). Ohne /sofort "
        "endet Sendrix dort mit dem Rückgabewert 2.",
        "Ein Passwort im Schlüsselbund liest Sendrix unbeaufsichtigt nur, wenn der Schlüsselbund "
        "ohne Rückfrage lesbar ist; ist er gesperrt oder nicht erreichbar, endet der Lauf vor dem "
        "ersten Versand mit einem Fehler (Rückgabewert 1). Für Rechner ohne Schlüsselbund gehört "
        "das Passwort in die Datei: in der Einrichtung „Passwort in der Datei speichern (für "
        "unbeaufsichtigten Betrieb)“ wählen.",
        "Jeder Listenversand führt einen Versandlauf (neben dem Mailing, sonst im Programmordner "
        "unter Versandlaeufe/). Wurde ein Lauf desselben Mailings unterbrochen, warnt ein neuer Lauf "
        "ohne /fortsetzen auf der Standardfehlerausgabe und versendet wie bisher an alle markierten "
        "Empfänger; mit /fortsetzen gehen nur die offenen. Empfänger, bei denen unklar ist, ob die "
        "Mail angekommen ist (das Programm endete zwischen dem Ende der Mail und der Antwort des "
        "Servers), werden nie still erneut angeschrieben: Sie werden auf der Standardfehlerausgabe "
        "genannt, und der Lauf endet mit 1.",
        "Zeilen, deren Adresse auf der Sperrliste (Sperrliste.txt im Programmordner) steht, lässt ein "
        "unbeaufsichtigter Lauf aus und nennt jede auf der Standardfehlerausgabe.",
    };
    manual.push_back(unattended);

    ManualSection status;
    status.title = "RÜCKGABEWERT";
    status.inHelp = true;
    status.items = {
        {"0", "Der Lauf ist durchgegangen: Jeder markierte Empfänger wurde dem Server übergeben."},
        {"1",
         "Der Lauf endete mit einem Fehler oder hat nichts versendet, weil eine Frage mit Nein "
         "beantwortet wurde, oder Empfänger mit unklarer Zustellung wurden ausgelassen."},
        {"2", "Sendrix kann nicht wie verlangt laufen (keine Anzeige und kein /sofort)."},
    };
    status.paragraphs = {
        "Der Rückgabewert sagt dem aufrufenden Programm, was geschehen ist; mit Fenster gilt "
        "dieselbe Regel, --help und --version enden mit 0.",
    };
    manual.push_back(status);

    ManualSection folder;
    folder.title = "PROGRAMMORDNER";
    folder.paragraphs = {
        "Sendrix hält seine Dateien im Programmordner, dem Ordner des laufenden Programms. Ist "
        "SENDRIX_HOME gesetzt, tritt dieser Ordner an seine Stelle; ist keiner davon beschreibbar, "
        "gilt $XDG_CONFIG_HOME/sendrix (sonst ~/.config/sendrix). Ein installiertes Sendrix "
        "(/usr/bin ist nicht beschreibbar) hält seine Dateien daher in ~/.config/sendrix.",
        "Die Einstellungsdateien sind INI-Dateien; Abschnitte und Schlüssel gelten ohne Rücksicht "
        "auf Groß- und Kleinschreibung. Jedes Schreiben ersetzt die Datei atomar und behält ihre "
        "Rechte; neue Dateien entstehen mit den Rechten 0600, denn Mail.ini kann das Passwort "
        "enthalten. Ein gespeicherter Pfad, der mit „.\\“ oder „./“ beginnt, gilt relativ zum "
        "Programmordner, so dass unter Windows geschriebene Einstellungen weiter gelten.",
    };
    manual.push_back(folder);

    ManualSection files;
    files.title = "DATEIEN";
    files.paragraphs = {
        "Alle im Programmordner. Mit /sofort oder /dontsave schreibt das Schließen des Fensters "
        "nichts.",
    };
    files.items = {
        {"Mail.ini",
         "[Smtp]: das SMTP-Konto (ServerName, ServerPort, ServerUser, ServerPassword, "
         "SMTPAuthenticationType, Timeout), geschrieben von der Einrichtung (Extras > Optionen); "
         "[Email], [Optionen], [Dateien]: die Mail-Konfiguration, geschrieben beim Schließen. "
         "ServerPassword steht verschleiert in Anführungszeichen (jedes Zeichen XOR 0x1F), das "
         "ist keine Verschlüsselung. Läuft ein Schlüsselbund des Desktops (Secret Service: GNOME "
         "Keyring, KWallet, KeePassXC), legt die Einrichtung das Passwort dort ab, und "
         "ServerPassword enthält nur den Verweis `secret-service`. Die Anmeldung bei Microsoft, Google "
         "oder einem eigenen Anmeldedienst (OAuth 2) steht ebenso im Schlüsselbund oder verschleiert als "
         "OAuthRefreshToken; OAuthProvider, OAuthClientId, OAuthTenant und für eigene Dienste "
         "OAuthAuthorizationUrl, OAuthTokenUrl, OAuthDeviceUrl und OAuthScope sagen, wo sie gilt."},
        {"<Benutzer>.ini",
         "Der Anmeldename mit A–Z in Kleinbuchstaben: Absenderadresse, Anzeigename und "
         "Mail-Profile ([Email-Profil]), geschrieben beim Schließen."},
        {"sendrix.recipient",
         "Die zuletzt benutzten einzelnen Empfänger, einer je Zeile, geschrieben beim Schließen."},
        {"sendrix.ini", "[update] für die Update-Prüfung."},
        {"logs/JJJJ-MM_EMail.log",
         "Das Versandprotokoll: eine Zeile je Versuch mit fünf durch Tabulatoren getrennten "
         "Feldern, nur für den Eigentümer lesbar."},
        {"Gesendete Objekte",
         "Der Ordner aus der Einrichtung ([Optionen] SentObjects): vor jedem Listenversand der "
         "Nachrichtentext als JJJJMMTT_HHMM-Betreff.txt."},
    };
    manual.push_back(files);

    ManualSection environment;
    environment.title = "UMGEBUNGSVARIABLEN";
    environment.items = {
        {"SENDRIX_HOME", "Der Programmordner statt des Ordners des Programms."},
        {"XDG_CONFIG_HOME",
         "Sendrix nimmt $XDG_CONFIG_HOME/sendrix, wenn der Programmordner nicht beschreibbar ist."},
        {"DISPLAY, WAYLAND_DISPLAY", "Ist eine davon gesetzt, öffnet Sendrix sein Fenster."},
        {"LC_ALL, LC_CTYPE, LANG",
         "Die Sprache bestimmt Datums- und Zeitformat; in der C-Umgebung die deutschen "
         "(08.12.2026, 14:05:31)."},
    };
    manual.push_back(environment);

    ManualSection examples;
    examples.title = "BEISPIELE";
    examples.inHelp = true;
    examples.items = {
        {"Ein Rundbrief an eine Liste, unbeaufsichtigt, mit Anrede und Anhang:",
         "sendrix kunden.csv \"/s:Rundbrief\" /B:brief.txt /A:preise.pdf "
         "/from:info@example.org /ANREDE /sofort"},
        {"Eine einzelne Nachricht aus einem Skript, mit Prüfung des Rückgabewerts:",
         "sendrix \"/to:anna@example.org\" \"/s:Bericht fertig\" /B:bericht.txt /sofort || "
         "echo \"Versand fehlgeschlagen\""},
        {"Das Fenster mit einer Empfängerliste öffnen:", "sendrix mitglieder.csv"},
        {"Ein gespeichertes Mailing unbeaufsichtigt versenden:", "sendrix rundbrief.mailing /sofort"},
    };
    manual.push_back(examples);
    return manual;
}

bool isExample(const ManualSection& section) {
    return section.title == "BEISPIELE";
}

}  // namespace

const std::vector<ManualSection>& ProgramManual() {
    static const std::vector<ManualSection> manual = buildManual();
    return manual;
}

std::string HelpText() {
    std::string out =
        "Aufruf: sendrix [EMPFÄNGERLISTE] [SCHALTER ...]\n"
        "        sendrix --help | --version\n" +
        std::string(kSummary) + ".\n";
    for (const ManualSection& section : ProgramManual()) {
        if (!section.inHelp)
            continue;
        out += "\n" + section.title + "\n";
        for (const std::string& paragraph : section.paragraphs)
            out += "  " + wrapped(paragraph, 2, 2);
        for (const ManualItem& item : section.items) {
            if (isExample(section)) {
                out += "  " + wrapped(item.term, 2, 2) + "    " + wrapped(item.text, 6, 4);
                continue;
            }
            const std::size_t width = 2 + columns(item.term);
            out += "  " + item.term;
            if (width + 2 > kHelpTermColumn) {
                out += "\n" + std::string(kHelpTermColumn, ' ');
            } else {
                out += std::string(kHelpTermColumn - width, ' ');
            }
            out += wrapped(item.text, kHelpTermColumn, kHelpTermColumn);
        }
    }
    return out + "\nAusführlich: man sendrix\n";
}

std::string VersionText() {
    const VersionResource& resource = ProgramVersionResource();
    const std::string block = std::string("StringFileInfo\\") + kVersionBlock + "\\";
    return "Sendrix " + resource.query(block + "FileVersion") + "\n" +
           resource.query(block + "FileDescription") + "\n" + resource.query(block + "LegalCopyright") + "\n";
}

std::string ManualPage(const std::string& date) {
    const VersionResource& resource = ProgramVersionResource();
    const std::string version =
        resource.query(std::string("StringFileInfo\\") + kVersionBlock + "\\FileVersion");
    std::string out = ".\\\" Generated from src/app/program_manual.cpp; edit there.\n";
    out += ".TH SENDRIX 1 \"" + date + "\" \"Sendrix " + version + "\" \"Benutzerbefehle\"\n";
    out += ".SH BEZEICHNUNG\nsendrix \\- " + roffText(kSummary) + "\n";
    out +=
        ".SH ÜBERSICHT\n"
        ".B sendrix\n"
        ".RI [ EMPFÄNGERLISTE ]\n"
        ".RI [ SCHALTER \" ...]\"\n"
        ".br\n"
        ".B sendrix\n"
        ".BR \\-\\-help \" | \" \\-\\-version\n";
    for (const ManualSection& section : ProgramManual()) {
        out += ".SH " + section.title + "\n";
        if (isExample(section)) {
            for (const ManualItem& item : section.items) {
                out += ".PP\n" + roffText(item.term) + "\n.PP\n.RS 4\n.nf\n" + roffLiteral(item.text) +
                       "\n.fi\n.RE\n";
            }
            continue;
        }
        for (const std::string& paragraph : section.paragraphs)
            out += ".PP\n" + roffText(paragraph) + "\n";
        for (const ManualItem& item : section.items)
            out += ".TP\n" + roffTerm(item.term) + "\n" + roffText(item.text) + "\n";
    }
    return out;
}

std::optional<int> AnswerInformationRequest(const std::vector<std::string>& arguments, std::ostream& out) {
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            out << HelpText() << std::flush;
            return 0;
        }
        if (argument == "--version" || argument == "-V") {
            out << VersionText() << std::flush;
            return 0;
        }
    }
    return std::nullopt;
}

}  // namespace sendrix::app
