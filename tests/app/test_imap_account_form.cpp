// The IMAP part of the setup dialog and the [Imap] keys it writes: a
// provider fills the server and decides the copy, OK stores what a later
// start reads back, and a file without an IMAP account stays without one.
#include "app/imap_account_form.h"

#include <gtest/gtest.h>

#include "app/mail_providers.h"
#include "platform/error.h"
#include "support/temp_folder.h"

using namespace sendrix;

namespace {

const app::MailProvider& provider(const std::string& name) {
    for (const app::MailProvider& entry : app::mailProviders())
        if (entry.name == name)
            return entry;
    throw std::runtime_error("no provider " + name);
}

}  // namespace

TEST(ImapAccountForm, ProviderFillsServerAndKeepsCopiesOffWhereItFilesSentMailItself) {
    struct Row {
        const char* provider;
        const char* server;
        bool copy;
    } rows[] = {{"GMX", "imap.gmx.net", true}, {"Gmail", "imap.gmail.com", false},
                {"Microsoft 365", "outlook.office365.com", false}, {"Posteo", "posteo.de", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.provider);
        test::TempFolder folder;
        const std::string ini = folder.write("Mail.ini", "[Smtp]\r\nServerName=x\r\n");
        app::TImapSettings settings;
        app::ImapAccountForm form(settings, ini);
        form.FormCreate();
        EXPECT_FALSE(form.chkImap.Checked);
        EXPECT_FALSE(form.edtImapServer.Enabled);
        form.ProviderChosen(provider(row.provider));
        form.Store();
        app::TImapSettings read;
        app::ReadImapAccount(ini, read);
        EXPECT_EQ(read.ServerName, row.server);
        EXPECT_EQ(read.ServerPort, 993);
        EXPECT_EQ(read.Encryption, 2);
        EXPECT_EQ(read.SentCopy, row.copy);
        EXPECT_EQ(settings.ServerName, row.server);
    }
}

TEST(ImapAccountForm, RefusesABadPortOrMissingServerBeforeWritingAndLeavesAFileWithoutAccountAlone) {
    test::TempFolder folder;
    const std::string original = "[Smtp]\r\nServerName=x\r\n";
    const std::string ini = folder.write("Mail.ini", original);
    app::TImapSettings settings;
    app::ImapAccountForm form(settings, ini);
    form.FormCreate();
    form.Store();  // no account: nothing written
    EXPECT_EQ(folder.read("Mail.ini"), original);
    form.chkImap.Checked = true;
    form.edtImapServer.Text = "imap.example.org";
    form.edtImapPort.Text = "70000";
    try {
        form.Store();
        ADD_FAILURE() << "a port outside 1..65535 was stored";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "IMAP-Port: '70000' ist keine gültige Portnummer");
    }
    form.edtImapServer.Text = " ";
    EXPECT_THROW(form.Store(), Error);
    EXPECT_EQ(folder.read("Mail.ini"), original);
    EXPECT_FALSE(settings.Configured());
}

TEST(ImapSettings, ReadRefusesValuesThatCouldSendThePasswordInTheClear) {
    for (const std::string line : {"Encryption=3", "TlsFingerprint=AB:CD", "ServerPort=x"}) {
        SCOPED_TRACE(line);
        test::TempFolder folder;
        const std::string ini = folder.write("Mail.ini", "[Imap]\r\nServerName=imap.example.org\r\n" + line + "\r\n");
        app::TImapSettings settings;
        EXPECT_THROW(app::ReadImapAccount(ini, settings), Error);
    }
}
