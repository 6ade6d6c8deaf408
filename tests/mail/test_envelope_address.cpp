// The recipient checks of the SMTP envelope and the one-RCPT-per-mailbox rule.
#include <gtest/gtest.h>

#include "mail/envelope_address.h"
#include "mail/id_exception.h"

using namespace sendrix::mail;

TEST(RecipientAddress, DamagedAddressesAreRefusedWithTheirReason) {
    struct Row {
        std::string address;
        std::string fault;
    } rows[] = {
        {"kunde@example.com", ""},
        {"Kunde.Name+tag@sub.example.com", ""},
        {"\"John Doe\"@example.com", ""},  // a blank inside a quoted local part is allowed
        {std::string(64, 'a') + "@example.com", ""},
        // Labels of 63 and a path of 256 ("<" and ">" around 254).
        {std::string(64, 'a') + "@" + std::string(63, 'b') + "." + std::string(63, 'c') + "." +
             std::string(61, 'd'),
         ""},
        {"a@" + std::string(255, 'b'), "ein Teil des Namens nach dem @ ist länger als 63 Zeichen"},
        {"a@de." + std::string(64, 'b'), "ein Teil des Namens nach dem @ ist länger als 63 Zeichen"},
        {"a@[" + std::string(70, '1') + "]", ""},  // a literal has no labels
        {std::string(64, 'a') + "@" + std::string(63, 'b') + "." + std::string(63, 'c') + "." +
             std::string(62, 'd'),
         "die Adresse ist länger als 254 Zeichen"},
        {"", "sie ist leer"},
        {"kunde@example.com\r\nopfer@example.net", "sie enthält ein Steuerzeichen (etwa ein Zeilenende)"},
        {"kunde@example.com\topfer@example.net", "sie enthält ein Steuerzeichen (etwa ein Zeilenende)"},
        {"kunde@example.com opfer@example.net", "sie enthält ein Leerzeichen"},
        {"kunde @example.com", "sie enthält ein Leerzeichen"},
        {"kundeexample.com", "das Zeichen @ fehlt"},
        {"@example.com", "vor dem @ steht nichts"},
        {"kunde@", "nach dem @ steht nichts"},
        {std::string(65, 'a') + "@example.com", "der Teil vor dem @ ist länger als 64 Zeichen"},
        {"a@" + std::string(256, 'b'), "der Teil nach dem @ ist länger als 255 Zeichen"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.address);
        EXPECT_EQ(recipientAddressFault(row.address), row.fault);
    }
    try {
        checkRecipientAddress("kunde@example.com\r\nopfer@example.net");
        FAIL() << "accepted";
    } catch (const EIdInvalidEnvelopeAddress& error) {
        EXPECT_STREQ(error.what(),
                     "Die Empfängeradresse \"kunde@example.com<CR><LF>opfer@example.net\" ist "
                     "ungültig: sie enthält ein Steuerzeichen (etwa ein Zeilenende); es wurde "
                     "nichts gesendet.");
    }
}

TEST(RecipientAddress, EachMailboxOnceWithTheDomainWithoutRegardToCase) {
    EXPECT_EQ(withoutRepeatedMailboxes({"anna@example.org", "bert@example.org", "anna@EXAMPLE.org",
                                        "Anna@example.org", "bert@example.org"}),
              (std::vector<std::string>{"anna@example.org", "bert@example.org", "Anna@example.org"}));
}
