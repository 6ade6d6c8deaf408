// Number formats of .xlsx files rendered as a German spreadsheet shows
// them; what is not reproduced exactly gives no text, so the stored value
// stays. The office fixtures compare whole sheets with LibreOffice; these
// rows cover what they leave out.
#include <gtest/gtest.h>

#include "merge/number_format.h"

using namespace sendrix::merge;

TEST(NumberFormat, RendersCodesAsGermanSpreadsheetsShowThem) {
    const struct {
        const char* name;
        double value;
        std::string code;
        std::optional<std::string> shown;
    } rows[] = {
        {"general integer", 42, "General", "42"},
        {"general decimals", 0.1 + 0.2, "General", "0,3"},
        {"rounding half away from zero", 2.675, "0.00", "2,68"},
        {"rounding carries into the integer", 9.999, "0.00", "10,00"},
        {"thousands", -1234567.891, "#,##0.00", "-1.234.567,89"},
        {"scaled by trailing comma", 1234567, "#,##0,", "1.235"},
        {"leading zeros", 7, "00000", "00007"},
        {"optional digits", 0.5, "#.##", ",5"},
        {"blank-padded decimals", 1.5, "0.0?", "1,5 "},
        {"literal text and escapes", 12, "\"Nr. \"0\\-\\A", "Nr. 12-A"},
        {"currency with locale tag", 12.5, "#,##0.00\\ [$€-407]", "12,50 €"},
        {"English locale tag", 1234.5, "[$-409]#,##0.00", "1,234.50"},
        {"negative section without sign", -5, "0;(0)", "(5)"},
        {"zero section", 0, "0;-0;\"null\"", "null"},
        {"percent", 0.125, "0.0%", "12,5%"},
        {"built-in percent", 0.0625, builtinFormatCode(10), "6,25\xC2\xA0%"},
        {"date with separator placeholder", 45352, "dd/mm/yyyy", "01.03.2024"},
        {"long date", 45352, "d. mmmm yyyy", "1. März 2024"},
        {"weekday", 45352, "dddd", "Freitag"},
        {"leap day that never was", 60, "dd.mm.yyyy", "29.02.1900"},
        {"minutes after hours", 0.5868055555555556, "hh:mm", "14:05"},
        {"minutes before seconds", 0.0034722222, "mm:ss", "05:00"},
        {"twelve hours", 0.75, "h:mm AM/PM", "6:00 PM"},
        {"elapsed hours", 1.5, "[h]:mm", "36:00"},
        {"date and time rounding to the next day", 45351.999999999, "dd.mm.yyyy hh:mm:ss",
         "01.03.2024 00:00:00"},
        {"scientific is not drawn", 12345, "0.00E+00", std::nullopt},
        {"fractions are not drawn", 1.5, "# ?/?", std::nullopt},
        {"conditions are not drawn", 5, "[<10]0;0.0", std::nullopt},
        {"abbreviated months differ between programs", 45352, "mmm yy", std::nullopt},
        {"French locale is not drawn", 1.5, "[$-40C]0.00", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(formatNumber(row.value, row.code), row.shown);
    }
    EXPECT_EQ(formatNumber(0, "dd.mm.yyyy", true), "01.01.1904");
}
