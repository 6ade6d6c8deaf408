#include "merge/zip_archive.h"

#include <zip.h>

#include <memory>

namespace sendrix::merge {

void throwWorkbookError(const std::string& path, const std::string& reason) {
    throw WorkbookError("Die Datei " + path + " kann nicht gelesen werden: " + reason + ".");
}

ZipArchive::ZipArchive(const std::string& path) : m_path(path) {
    int code = 0;
    m_zip = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (m_zip)
        return;
    if (code == ZIP_ER_OPEN || code == ZIP_ER_READ || code == ZIP_ER_NOENT) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const std::string reason = zip_error_strerror(&error);
        zip_error_fini(&error);
        throwWorkbookError(path, reason);
    }
    throwWorkbookError(path, "die Arbeitsmappe ist beschädigt (kein lesbares ZIP-Archiv)");
}

ZipArchive::~ZipArchive() {
    if (m_zip)
        zip_discard(m_zip);
}

bool ZipArchive::has(const std::string& part) const {
    return zip_name_locate(m_zip, part.c_str(), 0) >= 0;
}

void ZipArchive::read(const std::string& part, const std::function<void(std::string_view)>& chunk) const {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(m_zip, part.c_str(), 0, &st) != 0)
        throwWorkbookError(m_path, "der Teil \"" + part + "\" fehlt; die Arbeitsmappe ist beschädigt");
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
        throwWorkbookError(m_path, "die Arbeitsmappe ist mit einem Kennwort verschlüsselt");
    const std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> file(zip_fopen(m_zip, part.c_str(), 0), zip_fclose);
    if (!file)
        throwWorkbookError(m_path, "der Teil \"" + part + "\" ist nicht zu entpacken (" +
                                       zip_strerror(m_zip) + ")");
    char buffer[64 * 1024];
    for (;;) {
        const zip_int64_t n = zip_fread(file.get(), buffer, sizeof buffer);
        if (n < 0)
            throwWorkbookError(m_path, "der Teil \"" + part + "\" ist beschädigt (" +
                                           zip_file_strerror(file.get()) + ")");
        if (n == 0)
            break;
        chunk(std::string_view(buffer, static_cast<std::size_t>(n)));
    }
}

}  // namespace sendrix::merge
