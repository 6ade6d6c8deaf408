#include "merge/preflight.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <set>

#include "mail/envelope_address.h"
#include "mail/id_email_address.h"
#include "mail/idn_address.h"
#include "merge/body_composition.h"
#include "merge/html_images.h"
#include "merge/list_columns.h"
#include "merge/personal_message.h"
#include "merge/placeholders.h"
#include "merge/unsubscribe.h"
#include "platform/ascii.h"
#include "platform/file.h"
#include "platform/text_file.h"
#include "platform/text_trim.h"
#include "platform/visible_text.h"

namespace sendrix::merge {

namespace {

std::string rowText(int row) {
    return "Zeile " + std::to_string(row) + ": ";
}

std::uint64_t fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

std::string megabytes(std::uint64_t bytes) {
    const std::uint64_t tenths = (bytes * 10 + 512 * 1024) / (1024 * 1024);
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " MB";
}

// Every text of the mailing that may hold column placeholders; the body's
// lines joined as one text, at bodyText.
std::vector<std::string> placeholderTexts(const Mailing& mailing) {
    std::vector<std::string> texts = {mailing.subject};
    if (mailing.body.useSalutation)
        texts.push_back(mailing.body.salutationTemplate);
    std::string body;
    for (std::size_t i = 0; i < mailing.body.body.size(); ++i)
        (i ? body += '\n' : body) += mailing.body.body[i];
    texts.push_back(std::move(body));
    texts.insert(texts.end(), mailing.attachments.begin(), mailing.attachments.end());
    return texts;
}

std::size_t bodyText(const Mailing& mailing) {
    return mailing.body.useSalutation ? 2 : 1;
}

}  // namespace

bool plausibleAddress(const std::string& address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string::npos || at == 0 || at + 1 >= address.size())
        return false;
    for (char c : address)
        if (static_cast<unsigned char>(c) <= ' ' || c == '<' || c == '>' || c == ',' || c == ';')
            return false;
    if (address.find('@') != at && address.front() != '"')
        return false;
    const std::string domain = address.substr(at + 1);
    if (domain.front() == '[')
        return domain.back() == ']';
    const std::size_t dot = domain.find('.');
    return dot != std::string::npos && dot != 0 && domain.back() != '.' &&
           domain.find("..") == std::string::npos;
}

std::vector<Finding> preflightCheck(const Mailing& mailing, const PreflightLimits& limits) {
    std::vector<Finding> findings;
    auto error = [&](std::string text) { findings.push_back({Finding::Level::Error, std::move(text)}); };
    auto warning = [&](std::string text) { findings.push_back({Finding::Level::Warning, std::move(text)}); };
    // A finding about the data of mailing.rows[i].
    auto rowFinding = [&](Finding::Level level, std::size_t i, std::string text) {
        findings.push_back({level, std::move(text), i + 1});
    };

    // The mailing's own address fields, whatever filled them (window, switch,
    // Mail.ini, mailing file): a line break would go out as a blank and the
    // text beside it as a second address (a smuggled reply address).
    const std::pair<const char*, const std::string*> fields[] = {{"Absender", &mailing.senderAddress},
                                                                 {"Antwortadresse", &mailing.replyTo},
                                                                 {"CC", &mailing.cc},
                                                                 {"BCC", &mailing.bcc},
                                                                 {"Abmeldeadresse", &mailing.unsubscribeAddress}};
    for (const auto& [name, value] : fields)
        if (value->find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
            error(std::string(name) + ": \"" + platform::visibleText(*value) +
                  "\" enthält ein Zeilenende oder NUL.");
    const std::string unsubscribe = platform::trimControl(mailing.unsubscribeAddress);
    if (!unsubscribe.empty() && unsubscribe.find_first_of(std::string("\r\n\0", 3)) == std::string::npos) {
        const std::string fault = unsubscribeAddressFault(unsubscribe);
        if (!fault.empty())
            error("Abmeldeadresse: \"" + platform::visibleText(unsubscribe) + "\": " + fault + ".");
    }

    // Placeholders first and once each: with one unknown name no message can
    // be made, and saying so per row would bury everything else. The body
    // is one text (a section may span lines); its problems name the line.
    std::set<std::string> reported;
    bool placeholdersKnown = true;
    std::vector<std::string> texts = placeholderTexts(mailing);
    for (std::size_t t = 0; t < texts.size(); ++t) {
        const bool body = t == bodyText(mailing);
        for (const TemplateProblem& problem : templateProblems(texts[t], mailing.extraTitles)) {
            placeholdersKnown = false;
            if (reported.insert(problem.text).second)
                error(body && problem.line > 0 ? "Text, Zeile " + std::to_string(problem.line) + ": " + problem.text
                                               : problem.text);
        }
    }

    // The local images of an HTML body go with every message.
    std::uint64_t imageBytes = 0;
    if (mailing.body.html) {
        try {
            for (const mail::TIdInlineImage& image :
                 embedLocalImages(mailing.body.body, mailing.bodyFolder).images)
                imageBytes += fileSize(image.fileName);
        } catch (const FileError& missing) {
            error(missing.what());
        }
        if (imageBytes > limits.imageWarning)
            warning("Die Bilder im Nachrichtentext machen jede Nachricht um " + megabytes(imageBytes) +
                    " größer.");
    }

    const std::vector<std::string> subjectNames = placeholderNames(mailing.subject);
    const ListBody body(mailing.body, mailing.extraTitles);
    std::map<std::string, int> firstRowOf;
    std::set<std::string> missingFiles;
    for (std::size_t i = 0; i < mailing.rows.size(); ++i) {
        const RecipientRow& row = mailing.rows[i];
        if (row.ok != kSendMark)
            continue;
        const int number = sourceRowNumber(mailing, i);

        if (platform::trimControl(row.email).empty()) {
            rowFinding(Finding::Level::Warning, i,
                       rowText(number) + "keine E-Mail-Adresse; die Zeile wird übersprungen.");
            continue;
        }
        mail::TIdEMailAddressList addresses;
        addresses.SetAddresses(row.email);
        for (const mail::TIdEMailAddressItem& item : addresses) {
            if (!plausibleAddress(item.Address())) {
                rowFinding(Finding::Level::Error, i,
                           rowText(number) + "\"" + item.Address() + "\" ist keine gültige E-Mail-Adresse.");
                continue;
            }
            const std::string fault = mail::recipientAddressFault(mail::WithAsciiDomain(item.Address()));
            if (!fault.empty()) {
                rowFinding(Finding::Level::Error, i,
                           rowText(number) + "\"" + item.Address() +
                               "\" ist keine gültige E-Mail-Adresse: " + fault + ".");
                continue;
            }
            const auto [seen, isNew] = firstRowOf.emplace(platform::asciiLowered(item.Address()), number);
            if (!isNew)
                warning(rowText(number) + "die Adresse " + item.Address() + " steht schon in Zeile " +
                        std::to_string(seen->second) + ".");
        }
        if (addresses.Count() == 0)
            rowFinding(Finding::Level::Error, i,
                       rowText(number) + "\"" + row.email + "\" ist keine gültige E-Mail-Adresse.");
        // The row's own copies are checked as every address is.
        for (const auto& [role, column] : {std::pair{ColumnRole::Cc, "CC"}, std::pair{ColumnRole::Bcc, "BCC"}}) {
            mail::TIdEMailAddressList copies;
            copies.SetAddresses(rowCopies(mailing, row, role));
            for (const mail::TIdEMailAddressItem& item : copies)
                if (!plausibleAddress(item.Address()))
                    rowFinding(Finding::Level::Error, i,
                               rowText(number) + "\"" + item.Address() + "\" in der Spalte " + column +
                                   " ist keine gültige E-Mail-Adresse.");
        }

        std::uint64_t size = 2048 + (imageBytes + 2) / 3 * 4 * 78 / 76;
        std::vector<std::string> files;
        try {
            for (const std::string& common : mailing.attachments)
                files.push_back(attachmentPath(mailing, row, common));
            for (std::string& own : rowAttachments(mailing, row))
                files.push_back(std::move(own));
        } catch (const PlaceholderError&) {
            // Reported once above.
        }
        if (placeholdersKnown) {
            for (const std::string& name : subjectNames)
                if (platform::trimControl(columnValue(row, columnIndex(name, mailing.extraTitles))).empty())
                    warning(rowText(number) + "\"{{" + name + "}}\" im Betreff ist leer.");
            size += body.composedSize(row);
        }
        for (const std::string& file : files) {
            if (!platform::fileExists(file)) {
                // A common file that is missing is missing for every row.
                const bool common = std::find(mailing.attachments.begin(), mailing.attachments.end(), file) !=
                                    mailing.attachments.end();
                if (!common)
                    rowFinding(Finding::Level::Error, i,
                               rowText(number) + "der Anhang " + file + " ist nicht zu finden.");
                else if (missingFiles.insert(file).second)
                    error("Der Anhang " + file + " ist nicht zu finden.");
                continue;
            }
            if (const std::string fault = platform::readFault(file); !fault.empty()) {
                if (missingFiles.insert(file).second)
                    error("Der Anhang " + file + " ist nicht lesbar (" + fault + ").");
                continue;
            }
            // Base64: four bytes for every three, and a line end every 76.
            const std::uint64_t bytes = fileSize(file);
            size += (bytes + 2) / 3 * 4 * 78 / 76 + 256;
        }
        if (limits.serverSize > 0 && size > limits.serverSize)
            rowFinding(Finding::Level::Error, i,
                       rowText(number) + "die Nachricht ist mit etwa " + megabytes(size) +
                           " größer, als der Server annimmt (" + megabytes(limits.serverSize) + ").");
        else if (size > limits.usualSize)
            warning(rowText(number) + "die Nachricht ist mit etwa " + megabytes(size) + " größer als " +
                    megabytes(limits.usualSize) + "; viele Server nehmen sie nicht an.");
    }
    return findings;
}

bool hasError(const std::vector<Finding>& findings) {
    for (const Finding& finding : findings)
        if (finding.level == Finding::Level::Error)
            return true;
    return false;
}

std::string findingLine(const Finding& finding) {
    return (finding.level == Finding::Level::Error ? "Fehler: " : "Warnung: ") + finding.text;
}

}  // namespace sendrix::merge
