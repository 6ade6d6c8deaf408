#include "merge/delimited_text.h"

#include "platform/ascii.h"
#include "platform/text_trim.h"

namespace sendrix::merge {

char detectSeparator(std::string_view titleLine) {
    int semicolons = 0, tabs = 0, commas = 0;
    bool quoted = false;
    for (char c : titleLine) {
        if (c == '"')
            quoted = !quoted;
        if (quoted)
            continue;
        if (c == ';')
            ++semicolons;
        if (c == '\t')
            ++tabs;
        if (c == ',')
            ++commas;
    }
    if (semicolons >= tabs && semicolons >= commas)
        return ';';
    return tabs >= commas ? '\t' : ',';
}

std::string_view firstLine(std::string_view text) {
    return text.substr(0, platform::findLineBreak(text));
}

std::vector<TextRecord> readRecords(std::string_view text, char separator, std::vector<int>* startLines,
                                    std::vector<TextSpan>* spans) {
    std::vector<TextRecord> records;
    int line = 1;
    TextRecord record;
    std::string field;
    bool fieldQuoted = false;  // the field began with a quote (after blanks)
    bool recordEmpty = true;   // nothing but the line end so far

    auto endField = [&] {
        record.push_back(fieldQuoted ? std::move(field) : platform::trimControl(field));
        field.clear();
        fieldQuoted = false;
    };
    std::size_t i = 0;
    auto endRecord = [&] {
        if (!recordEmpty) {
            if (spans)
                spans->back().end = i;
            endField();
            records.push_back(std::move(record));
        }
        record.clear();
        field.clear();
        fieldQuoted = false;
        recordEmpty = true;
    };

    const std::size_t n = text.size();
    while (i < n) {
        const char c = text[i];
        if (recordEmpty && record.empty() && field.empty() && c == '\x1a')
            break;
        if (c == '\r' || c == '\n') {
            endRecord();
            i += (c == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
            ++line;
            continue;
        }
        if (recordEmpty && startLines)
            startLines->push_back(line);
        if (recordEmpty && spans)
            spans->push_back({i, i});
        recordEmpty = false;
        if (c == separator) {
            endField();
            ++i;
            continue;
        }
        if (c == '"' && !fieldQuoted && platform::trimControl(field).empty()) {
            // An opening quote: the field's text runs to the closing quote;
            // blanks before it are no part of the field.
            field.clear();
            fieldQuoted = true;
            ++i;
            while (i < n) {
                const char q = text[i];
                if (q == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (q == '\r') {
                    field += '\n';
                    i += (i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
                    ++line;
                    continue;
                }
                if (q == '\n')
                    ++line;
                field += q;
                ++i;
            }
            // Blanks between the closing quote and the separator are dropped;
            // anything else is kept, as spreadsheets keep it.
            while (i < n && (text[i] == ' ' || text[i] == '\t') && text[i] != separator)
                ++i;
            continue;
        }
        field += c;
        ++i;
    }
    endRecord();
    return records;
}

std::string writeRecord(const TextRecord& fields, char separator, bool quoteAll) {
    std::string out;
    for (std::size_t f = 0; f < fields.size(); ++f) {
        const std::string& field = fields[f];
        if (f > 0)
            out += separator;
        const bool quote =
            quoteAll || field.find_first_of(std::string{separator, '"', '\r', '\n'}) != std::string::npos ||
            (!field.empty() && (static_cast<unsigned char>(field.front()) <= ' ' ||
                                static_cast<unsigned char>(field.back()) <= ' ')) ||
            // An empty only field would be an empty line, which is no record.
            (fields.size() == 1 && field.empty());
        if (!quote) {
            out += field;
            continue;
        }
        out += '"';
        for (char c : field)
            (c == '"' ? out += "\"\"" : out += c);
        out += '"';
    }
    return out;
}

}  // namespace sendrix::merge
