// The Secret Service through libsecret. Each call runs synchronously; an
// unlock prompt is the service's own window, which libsecret waits for.
// libsecret (with GLib, GIO, libgcrypt and a dozen more) is loaded on first
// use, not at the start: most runs never touch the keyring, and loading
// those libraries took a third of an unattended run's start.
#include <dlfcn.h>
#include <libsecret/secret.h>

#include <mutex>
#include <string>
#include <type_traits>

#include "app/secret_store.h"
#include "platform/error.h"

namespace sendrix::app {

const char* const kUnattendedPasswordHint =
    "Für den unbeaufsichtigten Betrieb das Passwort in Mail.ini speichern: in der Einrichtung "
    "(Extras > Optionen) „Passwort in der Datei speichern (für unbeaufsichtigten Betrieb)“ "
    "wählen.";

namespace {

// The functions of libsecret and GLib this store calls, from the library
// loaded on first use.
struct Libsecret {
    decltype(&::g_error_free) g_error_free = nullptr;
    decltype(&::g_hash_table_new) g_hash_table_new = nullptr;
    decltype(&::g_str_hash) g_str_hash = nullptr;
    decltype(&::g_str_equal) g_str_equal = nullptr;
    decltype(&::g_hash_table_insert) g_hash_table_insert = nullptr;
    decltype(&::g_hash_table_unref) g_hash_table_unref = nullptr;
    decltype(&::g_object_unref) g_object_unref = nullptr;
    decltype(&::g_list_free_full) g_list_free_full = nullptr;
    decltype(&::secret_value_new) secret_value_new = nullptr;
    decltype(&::secret_value_unref) secret_value_unref = nullptr;
    decltype(&::secret_value_get) secret_value_get = nullptr;
    decltype(&::secret_service_get_sync) secret_service_get_sync = nullptr;
    decltype(&::secret_service_store_sync) secret_service_store_sync = nullptr;
    decltype(&::secret_service_search_sync) secret_service_search_sync = nullptr;
    decltype(&::secret_service_clear_sync) secret_service_clear_sync = nullptr;
    decltype(&::secret_item_get_locked) secret_item_get_locked = nullptr;
    decltype(&::secret_item_get_secret) secret_item_get_secret = nullptr;
};

// The loaded library; when it cannot be loaded, throws an Error ending
// with `hint` (the one a missing service gives).
const Libsecret& libsecret(const std::string& hint = "") {
    static std::once_flag once;
    static Libsecret table;
    static std::string problem;
    std::call_once(once, [] {
        void* library = ::dlopen("libsecret-1.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char* text = ::dlerror();
            problem = text ? text : "libsecret-1.so.0 kann nicht geladen werden";
            return;
        }
        auto resolve = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(library, name));
            if (!function && problem.empty())
                problem = std::string("libsecret-1.so.0: ") + name + " fehlt";
        };
        resolve(table.g_error_free, "g_error_free");
        resolve(table.g_hash_table_new, "g_hash_table_new");
        resolve(table.g_str_hash, "g_str_hash");
        resolve(table.g_str_equal, "g_str_equal");
        resolve(table.g_hash_table_insert, "g_hash_table_insert");
        resolve(table.g_hash_table_unref, "g_hash_table_unref");
        resolve(table.g_object_unref, "g_object_unref");
        resolve(table.g_list_free_full, "g_list_free_full");
        resolve(table.secret_value_new, "secret_value_new");
        resolve(table.secret_value_unref, "secret_value_unref");
        resolve(table.secret_value_get, "secret_value_get");
        resolve(table.secret_service_get_sync, "secret_service_get_sync");
        resolve(table.secret_service_store_sync, "secret_service_store_sync");
        resolve(table.secret_service_search_sync, "secret_service_search_sync");
        resolve(table.secret_service_clear_sync, "secret_service_clear_sync");
        resolve(table.secret_item_get_locked, "secret_item_get_locked");
        resolve(table.secret_item_get_secret, "secret_item_get_secret");
        // The library stays loaded until the process ends.
    });
    if (!problem.empty())
        throw Error("Kein Schlüsselbund (Secret Service) erreichbar: " + problem + "." +
                    (hint.empty() ? "" : " " + hint));
    return table;
}

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
            libsecret().g_error_free(error);
    }
    std::string text() const { return error ? error->message : "unbekannter Fehler"; }
};

struct Attributes {
    GHashTable* table = libsecret().g_hash_table_new(libsecret().g_str_hash, libsecret().g_str_equal);
    explicit Attributes(const SecretKey& key) {
        libsecret().g_hash_table_insert(table, const_cast<char*>("server"),
                                        const_cast<char*>(key.server.c_str()));
        libsecret().g_hash_table_insert(table, const_cast<char*>("user"),
                                        const_cast<char*>(key.user.c_str()));
        libsecret().g_hash_table_insert(table, const_cast<char*>("secret"),
                                        const_cast<char*>(key.kind.c_str()));
    }
    ~Attributes() { libsecret().g_hash_table_unref(table); }
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
            libsecret().g_object_unref(m_service);
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
        service("");  // the library is loaded from here on
        Attributes attributes(key);
        SecretValue* value =
            libsecret().secret_value_new(secret.c_str(), static_cast<gssize>(secret.size()), "text/plain");
        const std::string label = "Sendrix: SMTP-Passwort für " + accountName(key);
        ErrorSlot slot;
        // The default collection is the one the desktop unlocks at login.
        const gboolean stored = libsecret().secret_service_store_sync(
            service(""), schema(), attributes.table, SECRET_COLLECTION_DEFAULT, label.c_str(), value, nullptr,
            &slot.error);
        libsecret().secret_value_unref(value);
        if (!stored)
            throw Error("Das Passwort kann nicht im Schlüsselbund gespeichert werden: " + slot.text());
    }

    std::string Lookup(const SecretKey& key) override {
        service(kUnattendedPasswordHint);  // the library is loaded from here on
        Attributes attributes(key);
        const int flags =
            SECRET_SEARCH_LOAD_SECRETS | (m_prompt == SecretPrompt::Allowed ? SECRET_SEARCH_UNLOCK : 0);
        ErrorSlot slot;
        GList* items = libsecret().secret_service_search_sync(
            service(kUnattendedPasswordHint), schema(), attributes.table,
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
            SecretValue* value =
                libsecret().secret_item_get_locked(item) ? nullptr : libsecret().secret_item_get_secret(item);
            if (value) {
                gsize length = 0;
                const gchar* bytes = libsecret().secret_value_get(value, &length);
                secret.assign(bytes, length);
                libsecret().secret_value_unref(value);
            } else if (m_prompt == SecretPrompt::Never) {
                problem =
                    "Der Schlüsselbund ist gesperrt und kann ohne Rückfrage nicht gelesen "
                    "werden (Passwort für " +
                    accountName(key) + ").";
            } else {
                problem = "Der Schlüsselbund wurde nicht entsperrt (Passwort für " + accountName(key) + ").";
            }
        }
        libsecret().g_list_free_full(items, libsecret().g_object_unref);
        if (!problem.empty())
            throw Error(problem + " " + kUnattendedPasswordHint);
        return secret;
    }

    void Remove(const SecretKey& key) override {
        service("");  // the library is loaded from here on
        Attributes attributes(key);
        ErrorSlot slot;
        // False with no error set means: nothing was stored.
        if (!libsecret().secret_service_clear_sync(service(""), schema(), attributes.table, nullptr,
                                                   &slot.error) &&
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
        m_service =
            libsecret(hint).secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &slot.error);
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
