#pragma once
// The columns of a recipient list named by a title line, recognised by the
// spellings that address books and spreadsheets use.
#include <string>
#include <string_view>
#include <vector>

namespace sendrix::merge {

// The five fixed columns of every recipient row, and the per-recipient
// attachment column; Other is any further column, kept under its title.
enum class ColumnRole { Name, Vorname, Email, Typ, Attachments, Title, Cc, Bcc, Other };

// By the title, ignoring ASCII case, blanks, "-", "_" and ".":
// Email: "Email", "E-Mail", "Mail", "E-Mail-Adresse", "Mailadresse",
//        "Email Address"; Name: "Name", "Nachname", "Familienname",
//        "Surname", "Last Name"; Vorname: "Vorname", "Rufname",
//        "First Name", "Given Name"; Typ: "Typ", "Geschlecht", "Anrede",
//        "Gender"; Attachments: "Anhang", "Anhänge", "Anlage", "Anlagen",
//        "Attachment", "Attachments"; Title: "Titel", "Title",
//        "Akademischer Titel"; Cc: "CC", "Kopie"; Bcc: "BCC", "Blindkopie".
//        Anything else is Other (Title, Cc and Bcc stay further columns).
ColumnRole columnRoleOf(std::string_view title);

// The index in `titles` of the first title of `role`; -1 when none.
int columnOfRole(const std::vector<std::string>& titles, ColumnRole role);

// Titles compared as columnRoleOf compares them: ASCII case, blanks, "-",
// "_" and "." do not count.
bool sameColumnTitle(std::string_view a, std::string_view b);

}  // namespace sendrix::merge
