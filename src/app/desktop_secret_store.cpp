// The Secret Service through libsecret. Each call runs synchronously; an
// unlock prompt is the service's own window, which libsecret waits for.
#include <libsecret/secret.h>

#include "app/secret_store.h"
#include "platform/error.h"

namespace sendrix::app {

const char* const kUnattendedPasswordHint =
    "Für den unbeaufsichtigten Betrieb das Passwort in Mail.ini speichern: in der Einrichtung "
    "(Extras > Optionen) „Passwort in der Datei speichern (für unbeaufsichtigten Betrieb)“ "
    "wählen.";

namespace {

// Items of other programs never match: the schema name is one of its
// attributes.
const SecretSchema* schema() {
    static const SecretSchema kSchema = {"io.github.sendrix.Sendrix",
                                         SECRET_SCHEMA_NONE,
                                         {
                                             {"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                             {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                             {"secret", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                             {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         },
                                         0,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr};
    return &kSchema;
}

struct ErrorSlot {
    GError* error = nullptr;
    ~ErrorSlot() {
        if (error)
            g_error_free(error);
    }
    std::string text() const { return error ? error->message : "unbekannter Fehler"; }
};

struct Attributes {
    GHashTable* table = g_hash_table_new(g_str_hash, g_str_equal);
    explicit Attributes(const SecretKey& key) {
        g_hash_table_insert(table, const_cast<char*>("server"), const_cast<char*>(key.server.c_str()));
        g_hash_table_insert(table, const_cast<char*>("user"), const_cast<char*>(key.user.c_str()));
        g_hash_table_insert(table, const_cast<char*>("secret"), const_cast<char*>(key.kind.c_str()));
    }
    ~Attributes() { g_hash_table_unref(table); }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;
};

std::string accountName(const SecretKey& key) {
    return key.user + "@" + key.server;
}

class DesktopStore final : public SecretStore {
public:
    explicit DesktopStore(SecretPrompt prompt) : m_prompt(prompt) {}
    ~DesktopStore() override {
        if (m_service)
            g_object_unref(m_service);
    }

    bool Available() override {
        try {
            service("");
            return true;
        } catch (const Error&) {
            return false;
        }
    }

    void Store(const SecretKey& key, const std::string& secret) override {
        Attributes attributes(key);
        SecretValue* value =
            secret_value_new(secret.c_str(), static_cast<gssize>(secret.size()), "text/plain");
        const std::string label = "Sendrix: SMTP-Passwort für " + accountName(key);
        ErrorSlot slot;
        // The default collection is the one the desktop unlocks at login.
        const gboolean stored =
            secret_service_store_sync(service(""), schema(), attributes.table, SECRET_COLLECTION_DEFAULT,
                                      label.c_str(), value, nullptr, &slot.error);
        secret_value_unref(value);
        if (!stored)
            throw Error("Das Passwort kann nicht im Schlüsselbund gespeichert werden: " + slot.text());
    }

    std::string Lookup(const SecretKey& key) override {
        Attributes attributes(key);
        const int flags =
            SECRET_SEARCH_LOAD_SECRETS | (m_prompt == SecretPrompt::Allowed ? SECRET_SEARCH_UNLOCK : 0);
        ErrorSlot slot;
        GList* items =
            secret_service_search_sync(service(kUnattendedPasswordHint), schema(), attributes.table,
                                       static_cast<SecretSearchFlags>(flags), nullptr, &slot.error);
        if (slot.error)
            throw Error("Der Schlüsselbund kann nicht gelesen werden: " + slot.text() + ". " +
                        kUnattendedPasswordHint);
        std::string secret;
        std::string problem;
        if (!items) {
            problem = "Im Schlüsselbund liegt kein Passwort für " + accountName(key) + ".";
        } else {
            SecretItem* item = static_cast<SecretItem*>(items->data);
            SecretValue* value = secret_item_get_locked(item) ? nullptr : secret_item_get_secret(item);
            if (value) {
                gsize length = 0;
                const gchar* bytes = secret_value_get(value, &length);
                secret.assign(bytes, length);
                secret_value_unref(value);
            } else if (m_prompt == SecretPrompt::Never) {
                problem =
                    "Der Schlüsselbund ist gesperrt und kann ohne Rückfrage nicht gelesen "
                    "werden (Passwort für " +
                    accountName(key) + ").";
            } else {
                problem = "Der Schlüsselbund wurde nicht entsperrt (Passwort für " + accountName(key) + ").";
            }
        }
        g_list_free_full(items, g_object_unref);
        if (!problem.empty())
            throw Error(problem + " " + kUnattendedPasswordHint);
        return secret;
    }

    void Remove(const SecretKey& key) override {
        Attributes attributes(key);
        ErrorSlot slot;
        // False with no error set means: nothing was stored.
        if (!secret_service_clear_sync(service(""), schema(), attributes.table, nullptr, &slot.error) &&
            slot.error)
            throw Error("Das alte Passwort kann nicht aus dem Schlüsselbund entfernt werden: " + slot.text());
    }

private:
    // The service; when none answers, throws an error ending with `hint`.
    SecretService* service(const std::string& hint) {
        if (m_service)
            return m_service;
        ErrorSlot slot;
        // Opening the session is the first call the service must answer, so
        // a bus without a Secret Service fails here and not at the first read.
        m_service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &slot.error);
        if (!m_service)
            throw Error("Kein Schlüsselbund (Secret Service) erreichbar: " + slot.text() + "." +
                        (hint.empty() ? "" : " " + hint));
        return m_service;
    }

    SecretPrompt m_prompt;
    SecretService* m_service = nullptr;
};

}  // namespace

std::unique_ptr<SecretStore> DesktopSecretStore(SecretPrompt prompt) {
    return std::make_unique<DesktopStore>(prompt);
}

}  // namespace sendrix::app
