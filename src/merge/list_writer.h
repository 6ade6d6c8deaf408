#pragma once
// "Liste speichern": a recipient list written back in the form it was read
// (recipient_list.h keeps that form as ListSource). A text list keeps its
// separator, encoding, quoting, title line and line ends; only the records
// of rows that changed are written anew, so an unchanged list gives the
// file's bytes again. A workbook is never written: its rows go to a CSV file
// beside it.
#include <string>
#include <vector>

#include "merge/recipient_list.h"

namespace sendrix::merge {

// The file "Liste speichern" writes for a list read from `path`: the file
// itself, for a workbook "<name>.csv" in its folder.
std::string savedListPath(const std::string& path, const ListSource& source);

// The bytes of the list with `rows` (the list's rows in the order read,
// their values as edited; the mark is no part of the file). A text list:
// the text read, each changed row's record replaced (the own format as
// "Name;Vorname;Email;Typ", a titled list by its columns, quoted as the
// row was), rows beyond those read appended. A workbook: a CSV with ";",
// its title row first (the own format when it has none), CR LF. Encoded
// as read; Windows-1252 text that gains a character outside it becomes
// UTF-8 with a byte-order mark, so nothing is lost. Throws ListFormatError
// naming the row for a value the format cannot hold (a ";" in Name,
// Vorname or Email of the own format, a line break there).
std::string writeRecipientList(const ListSource& source, const std::vector<RecipientRow>& rows,
                               const std::vector<int>& sourceRows = {});

}  // namespace sendrix::merge
