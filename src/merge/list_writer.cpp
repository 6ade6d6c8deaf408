#include "merge/list_writer.h"

#include <algorithm>

#include "merge/delimited_text.h"
#include "platform/text_codec.h"

namespace sendrix::merge {

namespace {

bool sameValues(const RecipientRow& a, const RecipientRow& b) {
    if (a.name != b.name || a.vorname != b.vorname || a.email != b.email || a.typ != b.typ)
        return false;
    // Missing further values are empty.
    for (std::size_t i = 0; i < std::max(a.extra.size(), b.extra.size()); ++i)
        if ((i < a.extra.size() ? a.extra[i] : "") != (i < b.extra.size() ? b.extra[i] : ""))
            return false;
    return true;
}

std::string rowName(std::size_t index, const std::vector<int>& sourceRows) {
    return "Zeile " +
           std::to_string(index < sourceRows.size() ? sourceRows[index] : static_cast<int>(index) + 1);
}

std::string ownFormatLine(const RecipientRow& row, std::size_t index, const std::vector<int>& sourceRows) {
    for (const auto& [title, value] : {std::pair{"Name", &row.name}, std::pair{"Vorname", &row.vorname},
                                       std::pair{"Email", &row.email}, std::pair{"Typ", &row.typ}}) {
        const bool split = value != &row.typ && value->find(';') != std::string::npos;
        if (split || value->find_first_of("\r\n") != std::string::npos)
            throw ListFormatError(rowName(index, sourceRows) + ": Das Feld " + title +
                                  (split ? " enthält ein Semikolon" : " enthält einen Zeilenumbruch") +
                                  "; das Listenformat \"Name;Vorname;Email;Typ\" kann es nicht speichern.");
    }
    return row.name + ';' + row.vorname + ';' + row.email + ';' + row.typ;
}

TextRecord recordOf(const RecipientRow& row, const std::vector<ListColumn>& columns) {
    TextRecord record;
    record.reserve(columns.size());
    for (const ListColumn& column : columns)
        record.push_back(valueOf(row, column));
    return record;
}

// Whether every field of the record text begins with a quote (after blanks).
bool allQuoted(std::string_view record, char separator) {
    bool fieldStart = true, quoted = false;
    for (char c : record) {
        if (fieldStart && (c == ' ' || c == '\t'))
            continue;
        if (fieldStart && c != '"')
            return false;
        if (fieldStart) {
            fieldStart = false;
            quoted = true;
            continue;
        }
        if (c == '"')
            quoted = !quoted;
        else if (c == separator && !quoted)
            fieldStart = true;
    }
    return !fieldStart;
}

// The line end the text uses first; CR LF when it has none.
std::string lineEndOf(std::string_view text) {
    const std::size_t end = text.find_first_of("\r\n");
    if (end == std::string_view::npos)
        return "\r\n";
    if (text[end] == '\n')
        return "\n";
    return end + 1 < text.size() && text[end + 1] == '\n' ? "\r\n" : "\r";
}

std::string encoded(const std::string& text, ListSource::Encoding encoding) {
    if (encoding == ListSource::Encoding::Cp1252 && platform::fitsCp1252(text))
        return platform::utf8ToCp1252(text);
    if (encoding == ListSource::Encoding::Utf8)
        return text;
    return "\xEF\xBB\xBF" + text;
}

std::string workbookCsv(const ListSource& source, const std::vector<RecipientRow>& rows,
                        const std::vector<int>& sourceRows) {
    std::string text;
    std::vector<std::string> extraTitles;
    const std::vector<ListColumn> columns = listColumnsOf(source.titles, extraTitles);
    if (!source.titles.empty())
        text += writeRecord(source.titles, ';') + "\r\n";
    for (std::size_t r = 0; r < rows.size(); ++r)
        text += (source.titles.empty() ? ownFormatLine(rows[r], r, sourceRows)
                                       : writeRecord(recordOf(rows[r], columns), ';')) +
                "\r\n";
    return text;
}

}  // namespace

std::string savedListPath(const std::string& path, const ListSource& source) {
    if (source.kind != ListSource::Kind::Workbook)
        return path;
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    const bool extension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (extension ? path.substr(0, dot) : path) + ".csv";
}

std::string writeRecipientList(const ListSource& source, const std::vector<RecipientRow>& rows,
                               const std::vector<int>& sourceRows) {
    if (source.kind == ListSource::Kind::Workbook)
        return encoded(workbookCsv(source, rows, sourceRows), ListSource::Encoding::Cp1252);

    const bool own = source.kind != ListSource::Kind::Titled;
    std::vector<std::string> extraTitles;
    const std::vector<ListColumn> columns = listColumnsOf(source.titles, extraTitles);
    // Each row as read, to tell the changed ones.
    const auto readRow = [&](std::string_view record) {
        if (own)
            return parseRecipientLine(record);
        RecipientRow row;
        row.extra.resize(extraTitles.size());
        std::vector<TextRecord> read = readRecords(record, source.separator);
        if (read.empty())
            return row;
        TextRecord& fields = read.front();
        // Fields beyond the titles belong to the last column, as read.
        for (std::size_t c = columns.size(); c < fields.size(); ++c)
            fields[columns.size() - 1] += source.separator + fields[c];
        for (std::size_t c = 0; c < fields.size() && c < columns.size(); ++c)
            valueOf(row, columns[c]) = std::move(fields[c]);
        return row;
    };
    const auto writeRow = [&](const RecipientRow& row, std::size_t r, std::string_view was) {
        return own ? ownFormatLine(row, r, sourceRows)
                   : writeRecord(recordOf(row, columns), source.separator, allQuoted(was, source.separator));
    };

    std::string text;
    std::size_t from = 0;
    const std::size_t kept = std::min(rows.size(), source.spans.size());
    for (std::size_t r = 0; r < kept; ++r) {
        const ListSource::Span& span = source.spans[r];
        const std::string_view was = std::string_view(source.text).substr(span.begin, span.end - span.begin);
        text.append(source.text, from, span.begin - from);
        if (sameValues(readRow(was), rows[r]))
            text += was;
        else
            text += writeRow(rows[r], r, was);
        from = span.end;
    }
    text.append(source.text, from);
    const std::string lineEnd = lineEndOf(source.text);
    for (std::size_t r = kept; r < rows.size(); ++r) {
        if (!text.empty() && text.back() != '\n' && text.back() != '\r')
            text += lineEnd;
        text += writeRow(rows[r], r, {}) + lineEnd;
    }
    return encoded(text, source.encoding);
}

}  // namespace sendrix::merge
