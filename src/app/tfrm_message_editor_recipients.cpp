// The recipient list and the address history of the main window.
#include <string>
#include <vector>

#include "app/settings_paths.h"
#include "app/tfrm_message_editor.h"
#include "merge/address_history.h"
#include "merge/list_writer.h"
#include "merge/recipient_list.h"
#include "merge/spreadsheet.h"
#include "platform/text_file.h"
#include "platform/text_trim.h"

namespace sendrix::app {

namespace {

constexpr int kColOk = 0;

}  // namespace

// ---- Recipient list ----

void TfrmMessageEditor::LoadRecipientList(const std::string& path, const std::string& sheet) {
    // The whole file is read before the grid changes, so a file that cannot
    // be read leaves the list loaded before as it was.
    merge::RecipientList list = merge::readRecipientList(path, sheet);

    fillGrid(empfaengerliste, list);
    RecipientListFolder = platform::folderOf(path);
    RecipientListFile = path;
    RecipientSourceRows = list.sourceRows;
    RecipientListSource = std::move(list.source);
    ListeSpeichern1.Enabled = true;
    empfaengerliste.Row = 1;
    RememberedRow = 1;
    RowStatus.clear();
    empfaengerliste.Modified = false;
    SuppressionUnmarked.clear();

    // Every faulty row in one box: the same rule as the pre-flight check.
    if (!list.faulty.empty())
        m_interaction.Warning(merge::faultyAddressesWarning(list.faulty));
    if (!list.inexactFormats.empty())
        m_interaction.Notice(merge::inexactFormatsNotice(list.inexactFormats));

    pnltopright.Pages[kPageEmpfaengerliste].Caption =
        "Empfängerliste (" + std::to_string(list.rows.size()) + ")";
    AnredeChange();
    edtto.Text = kRecipientListMarker;
    edtto.Enabled = false;
}

void TfrmMessageEditor::ClearRecipientList() {
    empfaengerliste.Cells.resize(1);
    empfaengerliste.Modified = false;
    empfaengerliste.Row = 1;
    RememberedRow = 1;
    RowStatus.clear();
    SuppressionUnmarked.clear();
    RecipientListFile.clear();
    RecipientSourceRows.clear();
    RecipientListSource = {};
    ListeSpeichern1.Enabled = false;
    RecipientListFolder.clear();
    pnltopright.Pages[kPageEmpfaengerliste].Caption = "Empfängerliste";
    if (edtto.Text == kRecipientListMarker)
        edtto.Text.clear();
    edtto.Enabled = true;
    AnredeChange();
}

void TfrmMessageEditor::Verteilerlisteffnen1Click() {
    if (!listChangesAllowToGoOn())
        return;
    OpenDialog1.Filter = kListOpenDialogFilter;
    OpenDialog1.FilterIndex = 2;
    OpenDialog1.Title = "Verteilerliste öffnen";
    OpenDialog1.FileName.clear();
    if (!chooseFile(OpenDialog1, "Liste", false))
        return;
    std::string sheet;
    if (merge::isWorkbookFile(OpenDialog1.FileName)) {
        const std::vector<std::string> sheets = merge::sheetNames(OpenDialog1.FileName);
        if (sheets.size() > 1) {
            std::string names;
            for (const std::string& name : sheets)
                names += (names.empty() ? "" : ", ") + name;
            sheet = sheets.front();
            if (!m_interaction.InputBox("Tabellenblatt wählen",
                                        "Die Arbeitsmappe hat mehrere Tabellenblätter (" + names +
                                            "). Welches enthält die Empfängerliste?",
                                        sheet))
                return;
        }
    }
    LoadRecipientList(OpenDialog1.FileName, platform::trimControl(sheet));
    ShowRunRecord();
}

void TfrmMessageEditor::empfaengerlisteSelectCell(int, int row) {
    // The toolkit moves the current row with the selection; the model does
    // it here.
    empfaengerliste.Row = row;
    RememberedRow = row;
    AnredeChange();  // the preview line shows the selected row
}

void TfrmMessageEditor::empfaengerlisteDblClick() {
    // A row remembered from a longer list loaded before may be gone.
    if (RememberedRow < 1 || RememberedRow >= empfaengerliste.RowCount())
        return;
    std::vector<std::string>& row = empfaengerliste.Cells[RememberedRow];
    if (row.size() <= kColOk)
        row.resize(empfaengerliste.ColumnCount());
    row[kColOk] = row[kColOk] == merge::kSendMark ? "" : merge::kSendMark;
}

void TfrmMessageEditor::AlleMarkierenClick() {
    for (std::size_t r = 1; r < empfaengerliste.Cells.size(); ++r) {
        std::vector<std::string>& row = empfaengerliste.Cells[r];
        if (row.size() <= kColOk)
            row.resize(TStringGrid::ColCount);
        row[kColOk] = merge::kSendMark;
    }
}

void TfrmMessageEditor::KeineMarkierenClick() {
    for (std::size_t r = 1; r < empfaengerliste.Cells.size(); ++r)
        if (!empfaengerliste.Cells[r].empty())
            empfaengerliste.Cells[r][kColOk].clear();
}

void TfrmMessageEditor::FehlerhafteAbwaehlenClick() {
    for (int r = 1; r < empfaengerliste.RowCount(); ++r) {
        std::vector<std::string>& row = empfaengerliste.Cells[static_cast<std::size_t>(r)];
        if (!row.empty() && hasFaultyAddress(empfaengerliste, r))
            row[kColOk].clear();
    }
}

void TfrmMessageEditor::ToggleMarks(const std::vector<int>& gridRows) {
    for (const int r : gridRows) {
        if (r < 1 || r >= empfaengerliste.RowCount())
            continue;
        std::vector<std::string>& row = empfaengerliste.Cells[static_cast<std::size_t>(r)];
        if (row.size() <= kColOk)
            row.resize(TStringGrid::ColCount);
        row[kColOk] = row[kColOk] == merge::kSendMark ? "" : merge::kSendMark;
    }
}

void TfrmMessageEditor::ListeSpeichern1Click() {
    if (RecipientListFile.empty())
        return;
    const std::string target = merge::savedListPath(RecipientListFile, RecipientListSource);
    if (target != RecipientListFile && platform::fileExists(target) &&
        !m_interaction.ConfirmDefaultNo("Die Datei " + target + " gibt es schon. Soll sie ersetzt werden?"))
        return;
    std::string bytes;
    try {
        bytes = merge::writeRecipientList(RecipientListSource, recipientRowsOf(empfaengerliste),
                                          RecipientSourceRows);
    } catch (const merge::ListFormatError& error) {
        throw merge::ListFormatError("Die Empfängerliste " + target + " wurde nicht gespeichert. " +
                                     error.what());
    }
    platform::replaceFileAtomically(target, bytes,
                                    "Die Empfängerliste " + target + " kann nicht gespeichert werden");
    if (StatusBar1.Panels.size() < 2)
        StatusBar1.Panels.resize(2);
    StatusBar1.Panels[1] = "Empfängerliste gespeichert: " + target;
    empfaengerliste.Modified = false;
}

bool TfrmMessageEditor::listChangesAllowToGoOn() {
    // An unattended run never asks (and edits no cell).
    if (SendImmediately || !empfaengerliste.Modified || RecipientListFile.empty())
        return true;
    switch (m_interaction.Choose("Die Empfängerliste „" + platform::fileNameOnly(RecipientListFile) +
                                     "“ wurde geändert. Änderungen speichern?",
                                 {"Speichern", "Nicht speichern"})) {
        case 0:
            ListeSpeichern1Click();
            // A declined replace saved nothing: the edits are still there.
            return !empfaengerliste.Modified;
        case 1: return true;
        default: return false;
    }
}

void TfrmMessageEditor::AddToAddressHistory(const std::string& address) {
    merge::addToAddressHistory(edtto.Items, address);
}

}  // namespace sendrix::app
