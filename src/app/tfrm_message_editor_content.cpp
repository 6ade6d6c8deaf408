// The salutation preview and HTML aids, the body file and the attachments of
// the main window.
#include <string>
#include <vector>

#include "app/settings_paths.h"
#include "app/tfrm_message_editor.h"
#include "merge/body_composition.h"
#include "merge/body_file.h"
#include "merge/recipient_list.h"
#include "merge/salutation.h"
#include "platform/text_file.h"

namespace sendrix::app {

// ---- Salutation and HTML aids ----

void TfrmMessageEditor::AnredeChange() {
    if (!useAnrede.Checked)
        return;
    const std::vector<std::string> extraTitles = extraTitlesOf(empfaengerliste);
    const merge::RecipientRow first = empfaengerliste.RowCount() > 1
                                          ? recipientRowOf(empfaengerliste.Cells[1], extraTitles.size())
                                          : merge::RecipientRow{};
    Vorschau.Caption =
        merge::BuildSalutation(Anrede.Text, first, merge::SalutationVariant::Preview, extraTitles);
}

void TfrmMessageEditor::useAnredeClick() {
    if (useAnrede.Checked)
        AnredeChange();
    else
        Vorschau.Caption.clear();
}

void TfrmMessageEditor::SpeedButton2Click() {
    if (!html.Checked)
        return;
    Memo.Lines = merge::wrapInParagraph(Memo.Lines);
}

void TfrmMessageEditor::SpeedButton3Click() {
    CopySnippetToClipboard("<strong></strong>");
}
void TfrmMessageEditor::SpeedButton4Click() {
    CopySnippetToClipboard("<p></p>");
}
void TfrmMessageEditor::SpeedButton5Click() {
    CopySnippetToClipboard("<br>");
}

void TfrmMessageEditor::CopySnippetToClipboard(const std::string& snippet) {
    Edit1.Text = snippet;
    m_interaction.SetClipboardText(Edit1.Text);
}

// ---- Body file ----

void TfrmMessageEditor::LoadBodyFile(const std::string& path) {
    Memo.Lines = merge::readBodyFile(path);
}

void TfrmMessageEditor::Nachrichtffnen1Click() {
    OpenDialog1.Filter = kOpenDialogFilter;
    OpenDialog1.FilterIndex = 1;
    OpenDialog1.Title = "Nachricht öffnen";
    if (!m_interaction.OpenFile(OpenDialog1))
        return;
    LoadBodyFile(OpenDialog1.FileName);
}

void TfrmMessageEditor::Speichern1Click() {
    SaveDialog1.Filter = kSaveDialogFilter;
    SaveDialog1.DefaultExt = ".txt";
    SaveDialog1.Title = "Nachricht speichern";
    if (!m_interaction.SaveFile(SaveDialog1))
        return;
    merge::writeBodyFile(SaveDialog1.FileName, Memo.Lines);
}

// ---- Attachments ----

void TfrmMessageEditor::AddAttachmentFile(const std::string& path) {
    IdMsgSend.MessageParts.AddAttachment(path);
}

void TfrmMessageEditor::RefreshAttachmentList() {
    lvFiles.Items.clear();
    const mail::TIdMessageParts& parts = IdMsgSend.MessageParts;
    for (int i = 0; i < parts.Count(); ++i) {
        const mail::TIdMessagePart& part = parts.Items(i);
        if (part.Kind() == mail::TIdMessagePartKind::Attachment)
            lvFiles.Items.push_back(static_cast<const mail::TIdAttachment&>(part).FileName());
        else
            lvFiles.Items.push_back(part.ContentType());
    }
    if (lvFiles.ItemIndex >= static_cast<int>(lvFiles.Items.size()))
        lvFiles.ItemIndex = -1;
}

void TfrmMessageEditor::btnAttachmentClick() {
    OpenDialog1.Filter = kOpenDialogFilter;
    OpenDialog1.FilterIndex = 3;
    OpenDialog1.Title = "Anhang einfügen";
    if (!m_interaction.OpenFile(OpenDialog1))
        return;
    AddAttachmentFile(OpenDialog1.FileName);
    RefreshAttachmentList();
}

void TfrmMessageEditor::Button1Click() {
    const int index = lvFiles.ItemIndex;
    if (index < 0 || index >= static_cast<int>(lvFiles.Items.size()) ||
        index >= IdMsgSend.MessageParts.Count())
        return;
    if (!m_interaction.Confirm("Wollen Sie die Datei \"" + lvFiles.Items[index] + "\" wirklich löschen?"))
        return;
    // Only the part goes; the file itself stays where it is.
    IdMsgSend.MessageParts.Delete(index);
    lvFiles.ItemIndex = -1;
    RefreshAttachmentList();
}

void TfrmMessageEditor::BitBtn1Click() {
    const int index = lvFiles.ItemIndex;
    if (index < 0 || index >= IdMsgSend.MessageParts.Count())
        return;
    const mail::TIdMessagePart& part = IdMsgSend.MessageParts.Items(index);
    if (part.Kind() != mail::TIdMessagePartKind::Attachment)
        return;
    const std::string& file = static_cast<const mail::TIdAttachment&>(part).FileName();
    // The whole path goes to the shell: a path cut to a fixed buffer would
    // open another file or none.
    if (platform::fileExists(file))
        m_interaction.ShellOpen(file, "");
}

}  // namespace sendrix::app
