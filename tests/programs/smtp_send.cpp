// Sends one message through TIdSMTP, for the interop tests against a real
// SMTP server:
//
//   smtp_send --host H --port P --from TEXT --to TEXT [--cc TEXT] [--bcc TEXT]
//             [--subject TEXT] [--body-file PATH] [--attach PATH]...
//             [--from-name TEXT] [--subject-file PATH]
//             [--user NAME --password WORD] [--html] [--timeout SECONDS]
//             [--encryption none|starttls|tls] [--pin FINGERPRINT]
//             [--auth login|plain|xoauth2|oauthbearer] [--token-command CMD]
//             [--repeat N] [--resume 0|1] [--next-run-trusts PATH]
//
// Texts are UTF-8 and go into the message as they are, as the send run
// fills it; --from-name sets the sender's display name apart from its
// address (--from), as the send run does; --subject-file takes the subject's
// bytes from a file (a NUL byte included); the writer chooses their wire charset. Address fields take comma-separated lists ("Name <a@b>, c@d").
// --user switches AUTH LOGIN on (--auth picks another login; the OAuth
// ones take their token from --token-command, run once per connection).
// --repeat sends the message N times, one connection each, with the same
// client (so TLS sessions may be resumed); each delivery prints a line
// "sent encrypted=0|1 resumed=0|1" on standard output. --next-run-trusts
// makes every delivery after the first a send run of its own that trusts
// the CA file PATH (SSL_CERT_FILE), as a later run after a change of the
// trust store. Exit status 0 when the message was
// delivered; otherwise 1, and standard error holds three lines: the error
// class, its ReplyCode or ErrorNumber (0 for other classes), its message
// (whose own line breaks stay in it).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/access_token.h"
#include "mail/id_exception.h"
#include "mail/id_message.h"
#include "mail/id_smtp.h"

using namespace sendrix;

namespace {

struct Options {
    std::string host = "127.0.0.1";
    int port = 25;
    std::string from, fromName, to, cc, bcc, subject, subjectFile, bodyFile, user, password;
    std::vector<std::string> attachments;
    bool html = false;
    bool login = false;
    int timeout = 0;
    std::string encryption = "none", pin, auth = "login", tokenCommand;
    int repeat = 1;
    bool resume = true;
    std::string nextRunTrusts;
};

[[noreturn]] void usage(const std::string& problem) {
    std::cerr << "smtp_send: " << problem << "\n";
    std::exit(2);
}

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--html") {
            options.html = true;
            continue;
        }
        if (i + 1 >= argc)
            usage("missing value after " + name);
        const std::string value = argv[++i];
        if (name == "--host")
            options.host = value;
        else if (name == "--port")
            options.port = std::stoi(value);
        else if (name == "--from")
            options.from = value;
        else if (name == "--from-name")
            options.fromName = value;
        else if (name == "--subject-file")
            options.subjectFile = value;
        else if (name == "--to")
            options.to = value;
        else if (name == "--cc")
            options.cc = value;
        else if (name == "--bcc")
            options.bcc = value;
        else if (name == "--subject")
            options.subject = value;
        else if (name == "--body-file")
            options.bodyFile = value;
        else if (name == "--attach")
            options.attachments.push_back(value);
        else if (name == "--user") {
            options.user = value;
            options.login = true;
        } else if (name == "--password")
            options.password = value;
        else if (name == "--timeout")
            options.timeout = std::stoi(value);
        else if (name == "--encryption")
            options.encryption = value;
        else if (name == "--pin")
            options.pin = value;
        else if (name == "--auth") {
            options.auth = value;
            options.login = true;
        } else if (name == "--token-command")
            options.tokenCommand = value;
        else if (name == "--repeat")
            options.repeat = std::stoi(value);
        else if (name == "--resume")
            options.resume = value != "0";
        else if (name == "--next-run-trusts")
            options.nextRunTrusts = value;
        else
            usage("unknown switch " + name);
    }
    return options;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        usage("cannot read " + path);
    std::stringstream all;
    all << file.rdbuf();
    return all.str();
}

// The body file's lines (LF or CR LF), as they are.
std::vector<std::string> readBody(const std::string& path) {
    std::vector<std::string> lines;
    if (path.empty())
        return lines;
    const std::string text = readFile(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

void report(const char* kind, int number, const std::string& message) {
    std::cerr << kind << "\n" << number << "\n" << message << std::flush;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);

    mail::TIdMessage message;
    if (options.fromName.empty())
        message.From.SetText(options.from);
    else
        message.From.SetNameAndAddress(options.fromName, options.from);
    message.Recipients.SetAddresses(options.to);
    message.CCList.SetAddresses(options.cc);
    message.BccList.SetAddresses(options.bcc);
    message.Subject = options.subjectFile.empty() ? options.subject : readFile(options.subjectFile);
    message.ContentType = options.html ? "text/html; charset=\"Windows-1252\"" : "text/plain";
    message.Body = readBody(options.bodyFile);
    for (const auto& path : options.attachments)
        message.MessageParts.AddAttachment(path);

    mail::TIdSMTP smtp;
    smtp.SetHost(options.host);
    smtp.SetPort(options.port);
    mail::TAuthenticationType type = mail::atNone;
    if (options.login) {
        if (options.auth == "login")
            type = mail::atLogin;
        else if (options.auth == "plain")
            type = mail::atPlain;
        else if (options.auth == "xoauth2")
            type = mail::atXOAuth2;
        else if (options.auth == "oauthbearer")
            type = mail::atOAuthBearer;
        else
            usage("unknown login " + options.auth);
    }
    smtp.SetAuthenticationType(type);
    smtp.SetUserId(options.user);
    smtp.SetPassword(options.password);
    smtp.SetTimeoutSeconds(options.timeout);
    if (options.encryption == "starttls")
        smtp.SetEncryption(mail::TlsMode::StartTls);
    else if (options.encryption == "tls")
        smtp.SetEncryption(mail::TlsMode::Implicit);
    else if (options.encryption != "none")
        usage("unknown encryption " + options.encryption);
    smtp.SetPinnedFingerprint(options.pin);
    smtp.SetSessionResumption(options.resume);

    try {
        for (int i = 0; i < options.repeat; ++i) {
            if (i > 0 && !options.nextRunTrusts.empty()) {
                ::setenv("SSL_CERT_FILE", options.nextRunTrusts.c_str(), 1);
                smtp.ForgetTlsContext();
            }
            if (type == mail::atXOAuth2 || type == mail::atOAuthBearer)
                smtp.SetAccessToken(app::fetchAccessToken(options.tokenCommand, 5000));
            smtp.Open();  // closes the connection itself when it fails
            const bool encrypted = smtp.Encrypted();
            const bool resumed = smtp.SessionResumed();
            mail::deliverAndClose(smtp, [&] { smtp.Deliver(message); });
            std::cout << "sent encrypted=" << encrypted << " resumed=" << resumed << "\n";
        }
        std::cout << std::flush;
    } catch (const mail::EIdCertificateError& error) {
        report("EIdCertificateError", 0, error.what());
        return 1;
    } catch (const mail::EIdTlsError& error) {
        report("EIdTlsError", 0, error.what());
        return 1;
    } catch (const mail::EIdLoginNotOffered& error) {
        report("EIdLoginNotOffered", 0, error.what());
        return 1;
    } catch (const mail::EIdProtocolReplyError& error) {
        report("EIdProtocolReplyError", error.ReplyCode(), error.what());
        return 1;
    } catch (const mail::EIdSocketError& error) {
        report("EIdSocketError", error.ErrorNumber(), error.what());
        return 1;
    } catch (const mail::EIdConnClosedGracefully& error) {
        report("EIdConnClosedGracefully", 0, error.what());
        return 1;
    } catch (const mail::EIdSmtpUtf8NotOffered& error) {
        report("EIdSmtpUtf8NotOffered", 0, error.what());
        return 1;
    } catch (const mail::EIdInvalidEnvelopeAddress& error) {
        report("EIdInvalidEnvelopeAddress", 0, error.what());
        return 1;
    } catch (const std::exception& error) {
        report("other", 0, error.what());
        return 1;
    }
    return 0;
}
