// The mailing as a file: open, save, and the question about unsaved changes
// before the window closes or another mailing replaces this one.
#include <algorithm>
#include <filesystem>
#include <string>

#include "app/tfrm_message_editor.h"
#include "merge/html_images.h"
#include "merge/mailing_file.h"
#include "platform/text_trim.h"
#include "platform/text_file.h"

namespace sendrix::app {

namespace {

constexpr const char* kMailingFilter = "Mailings|*.mailing|alle Dateien|*.*";
constexpr const char* kSaveChangesQuestion = "Änderungen am Mailing speichern?";

void prepareMailingDialog(TFileDialog& dialog, const char* title, const std::string& current) {
    dialog.Filter = kMailingFilter;
    dialog.FilterIndex = 1;
    dialog.DefaultExt = ".mailing";
    dialog.Title = title;
    dialog.FileName = current;
}

}  // namespace

merge::MailingDocument TfrmMessageEditor::CurrentMailing() const {
    merge::MailingDocument mailing;
    mailing.subject = edtSubject.Text;
    mailing.body = Memo.Lines;
    mailing.listFile = RecipientListFile;
    const mail::TIdMessageParts& parts = IdMsgSend.MessageParts;
    for (int i = 0; i < parts.Count(); ++i)
        if (parts.Items(i).Kind() == mail::TIdMessagePartKind::Attachment)
            mailing.attachments.push_back(static_cast<const mail::TIdAttachment&>(parts.Items(i)).FileName());
    mailing.salutation = useAnrede.Checked;
    mailing.salutationTemplate = Anrede.Text;
    mailing.cc = edtCC.Text;
    mailing.bcc = edtBCC.Text;
    mailing.replyTo = edtReply.Text;
    mailing.priorityIndex = cboPriority.ItemIndex;
    mailing.html = html.Checked;
    mailing.receipt = chkReturnReciept.Checked;
    mailing.unsubscribeAddress = platform::trimControl(edtAbmeldeadresse.Text);
    mailing.unsubscribeLine = chkAbmeldezeile.Checked;
    return mailing;
}

bool TfrmMessageEditor::MailingChanged() const {
    return CurrentMailing() != m_savedMailing;
}

void TfrmMessageEditor::markMailingSaved() {
    m_savedMailing = CurrentMailing();
}

std::string TfrmMessageEditor::missingMailingFiles(const merge::MailingDocument& mailing,
                                                   const std::string& path) const {
    std::string missing;
    auto check = [&](const std::string& file, const char* what) {
        if (!platform::fileExists(file))
            missing += std::string(missing.empty() ? "" : "\n") + what + " " + file + " fehlt.";
    };
    if (!mailing.listFile.empty())
        check(mailing.listFile, "Die Empfängerliste");
    for (const std::string& file : mailing.attachments)
        check(file, "Die Anlage");
    if (missing.empty())
        return missing;
    return "Das Mailing " + path + " wurde nicht geöffnet:\n" + missing;
}

void TfrmMessageEditor::OpenMailing(const std::string& path) {
    const merge::MailingDocument mailing = merge::readMailingFile(path);
    // Everything is checked before a control changes, so a mailing that
    // cannot be opened leaves the window's mailing as it was.
    const std::string missing = missingMailingFiles(mailing, path);
    if (!missing.empty())
        throw Error(missing);
    applyMailing(mailing);
    MailingFile = path;
    BodyFolder = platform::folderOf(path);
    markMailingSaved();
}

void TfrmMessageEditor::applyMailing(const merge::MailingDocument& mailing) {
    // The list first: it is the one part that can still fail to read.
    if (mailing.listFile.empty())
        ClearRecipientList();
    else
        LoadRecipientList(mailing.listFile);

    edtSubject.Text = mailing.subject;
    Memo.Lines = mailing.body;
    Memo1.Lines.clear();

    mail::TIdMessageParts& parts = IdMsgSend.MessageParts;
    for (int i = parts.Count() - 1; i >= 0; --i)
        if (parts.Items(i).Kind() == mail::TIdMessagePartKind::Attachment)
            parts.Delete(i);
    for (const std::string& file : mailing.attachments)
        AddAttachmentFile(file);
    lvFiles.ItemIndex = -1;
    RefreshAttachmentList();

    const auto known = std::find(Anrede.Items.begin(), Anrede.Items.end(), mailing.salutationTemplate);
    Anrede.ItemIndex = known == Anrede.Items.end() ? -1 : static_cast<int>(known - Anrede.Items.begin());
    Anrede.Text = mailing.salutationTemplate;
    setSalutationChecked(mailing.salutation);
    AnredeChange();

    edtCC.Text = mailing.cc;
    edtBCC.Text = mailing.bcc;
    edtReply.Text = mailing.replyTo;
    cboPriority.ItemIndex = mailing.priorityIndex;
    cboPriority.Text = cboPriority.Items[mailing.priorityIndex];
    html.Checked = mailing.html;
    chkReturnReciept.Checked = mailing.receipt;
    edtAbmeldeadresse.Text = mailing.unsubscribeAddress;
    chkAbmeldezeile.Checked = mailing.unsubscribeLine;
}

void TfrmMessageEditor::SaveMailing(const std::string& path) {
    // A relative image names a file beside the body's old folder (the
    // current folder without one): it stays that file when the mailing goes
    // to another folder.
    std::error_code noCurrentFolder;
    const std::filesystem::path oldFolder =
        std::filesystem::absolute(BodyFolder.empty() ? "." : BodyFolder, noCurrentFolder);
    if (html.Checked && !noCurrentFolder)
        Memo.Lines = merge::imagePathsAbsoluteIn(Memo.Lines, oldFolder.lexically_normal().string());
    merge::writeMailingFile(path, CurrentMailing());
    MailingFile = path;
    BodyFolder = platform::folderOf(path);
    markMailingSaved();
}

void TfrmMessageEditor::MailingOeffnen1Click() {
    // Opening a mailing always reloads (or clears) the grid.
    if (!listChangesAllowToGoOn() || !saveChangesAllowsToGoOn())
        return;
    prepareMailingDialog(OpenDialog1, "Mailing öffnen", "");
    if (!chooseFile(OpenDialog1, "Mailing", false))
        return;
    OpenMailing(OpenDialog1.FileName);
    ShowRunRecord();
}

void TfrmMessageEditor::MailingSpeichern1Click() {
    if (MailingFile.empty()) {
        MailingSpeichernUnter1Click();
        return;
    }
    SaveMailing(MailingFile);
}

void TfrmMessageEditor::MailingSpeichernUnter1Click() {
    prepareMailingDialog(SaveDialog1, "Mailing speichern", MailingFile);
    if (!chooseFile(SaveDialog1, "Mailing", true))
        return;
    SaveMailing(SaveDialog1.FileName);
}

bool TfrmMessageEditor::saveChangesAllowsToGoOn() {
    // An unattended run and a start that must not save never ask.
    if (DontSave || SendImmediately || !MailingChanged())
        return true;
    switch (m_interaction.YesNoCancel(kSaveChangesQuestion)) {
        case Interaction::Answer::Yes:
            MailingSpeichern1Click();
            // A cancelled save dialog saved nothing: the changes are still
            // there, so the window stays.
            return !MailingChanged();
        case Interaction::Answer::No: return true;
        case Interaction::Answer::Cancel: break;
    }
    return false;
}

bool TfrmMessageEditor::FormCloseQuery() {
    return listChangesAllowToGoOn() && saveChangesAllowsToGoOn();
}

}  // namespace sendrix::app
