#pragma once
// Workbooks of spreadsheet programs (.xlsx, .ods) read as a table of texts:
// each cell as the spreadsheet shows it (number formats applied, formulas by
// their stored result, rich text joined). Streamed: only the chosen sheet's
// filled rows and the shared texts are held.
#include <string>
#include <vector>

#include "merge/zip_archive.h"

namespace sendrix::merge {

struct SheetRow {
    int number = 0;                  // the row as the spreadsheet numbers it, from 1
    std::vector<std::string> cells;  // up to the last filled cell
};

struct SheetTable {
    std::string sheet;            // the name of the sheet read
    std::vector<SheetRow> rows;   // rows with at least one filled cell
    // Number formats whose cells keep their stored value, because they are
    // not rendered exactly (number_format.h); each once.
    std::vector<std::string> inexactFormats;
};

// Whether the file's first bytes are those of a workbook this reader opens
// (a ZIP archive).
bool isWorkbook(std::string_view firstBytes);

// The names of the workbook's sheets, in order. Throws WorkbookError naming
// the file when it is no readable .xlsx or .ods, encrypted or damaged.
std::vector<std::string> sheetNames(const std::string& path);

// isWorkbook of the file's first bytes; false when it cannot be read.
bool isWorkbookFile(const std::string& path);

// The sheet named `sheet` (the first when empty). Throws WorkbookError as
// sheetNames, and when there is no such sheet.
SheetTable readSheet(const std::string& path, const std::string& sheet = "");

// The two formats, behind readSheet and sheetNames.
SheetTable readXlsxSheet(const ZipArchive& archive, const std::string& sheet, std::vector<std::string>* names);
SheetTable readOdsSheet(const ZipArchive& archive, const std::string& sheet, std::vector<std::string>* names);

}  // namespace sendrix::merge
