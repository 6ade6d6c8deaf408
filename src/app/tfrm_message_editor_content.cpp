// The salutation preview and HTML aids, the body file and the attachments of
// the main window.
#include <string>
#include <vector>

#include "app/settings_paths.h"
#include "app/tfrm_message_editor.h"
#include "mail/html_text.h"
#include "mail/mail_html.h"
#include "merge/body_composition.h"
#include "merge/body_file.h"
#include "merge/recipient_list.h"
#include "merge/salutation.h"
#include "platform/text_file.h"

namespace sendrix::app {

namespace {

const char* const kDropFormattingQuestion =
    "Ohne „HTML Mail“ geht die Formatierung des Textes (Überschriften, Fett, Links, Bilder) verloren. "
    "HTML Mail trotzdem ausschalten?";

}  // namespace

// ---- Salutation and HTML aids ----

void TfrmMessageEditor::AnredeChange() {
    if (!useAnrede.Checked)
        return;
    const std::vector<std::string> extraTitles = extraTitlesOf(empfaengerliste);
    // The grid's current row, the first when none is.
    const int current = empfaengerliste.Row >= 1 && empfaengerliste.Row < empfaengerliste.RowCount()
                            ? empfaengerliste.Row
                            : 1;
    const merge::RecipientRow first = empfaengerliste.RowCount() > 1
                                          ? recipientRowOf(empfaengerliste.Cells[current], extraTitles.size())
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

void TfrmMessageEditor::htmlClick() {
    if (html.Checked) {
        if (!mail::HoldsHtmlMarkup(Memo.Lines))
            Memo.Lines = mail::PlainTextAsHtml(Memo.Lines);
        return;
    }
    if (!mail::HoldsHtmlMarkup(Memo.Lines))
        return;
    std::vector<std::string> text = mail::RenderHtmlAsText(Memo.Lines);
    // Paragraphs and line breaks alone come back from the text as they were.
    if (mail::PlainTextAsHtml(text) != Memo.Lines &&
        !m_interaction.ConfirmDefaultNo(kDropFormattingQuestion)) {
        html.Checked = true;
        return;
    }
    Memo.Lines = std::move(text);
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

std::vector<std::string> TfrmMessageEditor::PlaceholderMenuItems() const {
    std::vector<std::string> items;
    const std::vector<std::string>& titles =
        empfaengerliste.Cells.empty() ? kRecipientTitles : empfaengerliste.Cells[0];
    for (std::size_t c = 1; c < titles.size(); ++c) {
        const std::string& title = titles[c];
        // A title that could not be written between the braces is left out.
        if (title.empty() || title.find("}}") != std::string::npos ||
            title.find_first_of("\r\n") != std::string::npos)
            continue;
        items.push_back("{{" + title + "}}");
    }
    return items;
}

void TfrmMessageEditor::CopySnippetToClipboard(const std::string& snippet) {
    Edit1.Text = snippet;
    m_interaction.SetClipboardText(Edit1.Text);
}

// ---- Body file ----

void TfrmMessageEditor::LoadBodyFile(const std::string& path) {
    Memo.Lines = merge::readBodyFile(path);
    BodyFolder = platform::folderOf(path);
}

void TfrmMessageEditor::Nachrichtffnen1Click() {
    OpenDialog1.Filter = kOpenDialogFilter;
    OpenDialog1.FilterIndex = 1;
    OpenDialog1.Title = "Nachricht öffnen";
    OpenDialog1.FileName.clear();
    if (!chooseFile(OpenDialog1, "Nachricht", false))
        return;
    LoadBodyFile(OpenDialog1.FileName);
}

void TfrmMessageEditor::Speichern1Click() {
    SaveDialog1.Filter = kSaveDialogFilter;
    SaveDialog1.DefaultExt = ".txt";
    SaveDialog1.Title = "Nachricht speichern";
    SaveDialog1.FileName.clear();
    if (!chooseFile(SaveDialog1, "Nachricht", true))
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
    // The dialog starts where the last attachment came from, with no file
    // picked: the file chosen last may be the recipient list.
    OpenDialog1.FileName.clear();
    std::string folder;
    const mail::TIdMessageParts& parts = IdMsgSend.MessageParts;
    for (int i = parts.Count() - 1; i >= 0; --i) {
        if (parts.Items(i).Kind() == mail::TIdMessagePartKind::Attachment) {
            const std::string& last = static_cast<const mail::TIdAttachment&>(parts.Items(i)).FileName();
            const std::size_t slash = last.rfind('/');
            if (slash != std::string::npos)
                folder = last.substr(0, slash + 1);
            break;
        }
    }
    if (!chooseFile(OpenDialog1, "Anhang", false, folder))
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
