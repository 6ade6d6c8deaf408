#include "merge/spreadsheet.h"

#include <fstream>

#include "merge/xml_stream.h"

namespace sendrix::merge {

namespace {

enum class Format { Xlsx, Ods };

// An encrypted .ods is a normal ZIP whose parts are encrypted one by one;
// its manifest says so.
class ManifestHandler : public XmlHandler {
public:
    bool encrypted = false;
    void start(std::string_view name, const char**) override {
        if (name == "encryption-data")
            encrypted = true;
    }
    void end(std::string_view) override {}
    void text(std::string_view) override {}
};

Format formatOf(const ZipArchive& archive) {
    if (archive.has("xl/workbook.xml"))
        return Format::Xlsx;
    if (archive.has("content.xml")) {
        if (archive.has("META-INF/manifest.xml")) {
            ManifestHandler manifest;
            XmlStream xml(manifest);
            archive.read("META-INF/manifest.xml", [&](std::string_view piece) {
                xml.feed(piece, false, archive.path(), "META-INF/manifest.xml");
            });
            xml.feed({}, true, archive.path(), "META-INF/manifest.xml");
            if (manifest.encrypted)
                throwWorkbookError(archive.path(), "die Arbeitsmappe ist mit einem Kennwort verschlüsselt");
        }
        return Format::Ods;
    }
    throwWorkbookError(archive.path(),
                       "das ZIP-Archiv ist keine Arbeitsmappe im Format .xlsx oder .ods (z. B. ein "
                       "Textdokument oder eine Präsentation)");
}

SheetTable readAny(const std::string& path, const std::string& sheet, std::vector<std::string>* names) {
    const ZipArchive archive(path);
    return formatOf(archive) == Format::Xlsx ? readXlsxSheet(archive, sheet, names)
                                             : readOdsSheet(archive, sheet, names);
}

}  // namespace

bool isWorkbook(std::string_view firstBytes) {
    return firstBytes.starts_with(std::string_view("PK\x03\x04", 4));
}

bool isWorkbookFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    char start[4] = {};
    file.read(start, sizeof start);
    return file && isWorkbook(std::string_view(start, sizeof start));
}

std::vector<std::string> sheetNames(const std::string& path) {
    std::vector<std::string> names;
    readAny(path, "", &names);
    return names;
}

SheetTable readSheet(const std::string& path, const std::string& sheet) {
    return readAny(path, sheet, nullptr);
}

}  // namespace sendrix::merge
