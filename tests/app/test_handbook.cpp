// The handbook is the README's section "Handbuch": where it begins and ends.
#include <gtest/gtest.h>

#include "app/handbook.h"

namespace sendrix::app {
namespace {

TEST(Handbook, TheSectionRunsToTheNextHeadingOfItsLevel) {
    struct Row {
        const char* name;
        std::string readme, section;
    } rows[] = {
        {"between two sections", "# S\n## Vorher\nx\n## Handbuch\nA\n### Konto\nB\n## Danach\nC\n",
         "## Handbuch\nA\n### Konto\nB\n"},
        {"at the start, to the end", "## Handbuch\nA\n", "## Handbuch\nA\n"},
        {"a heading in a code block belongs to it", "## Handbuch\n```\n## kein Titel\n```\nA\n## Danach\n",
         "## Handbuch\n```\n## kein Titel\n```\nA\n"},
        {"a longer title is another section", "## Handbuchseiten\nA\n", ""},
        {"none", "# S\n## Install\n", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(handbookSection(row.readme), row.section);
    }
}

}  // namespace
}  // namespace sendrix::app
