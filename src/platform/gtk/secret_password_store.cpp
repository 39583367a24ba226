#include "platform/gtk/secret_password_store.h"

#include <libsecret/secret.h>

namespace lumireel::platform::gtk {
namespace {

const SecretSchema* Schema() {
  static const SecretSchema schema = {
      "org.lumireel.UploadPassword",
      SECRET_SCHEMA_NONE,
      {
          {"protocol", SECRET_SCHEMA_ATTRIBUTE_STRING},
          {"host", SECRET_SCHEMA_ATTRIBUTE_STRING},
          {"port", SECRET_SCHEMA_ATTRIBUTE_INTEGER},
          {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
          {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
      },
      0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  return &schema;
}

class SecretPasswordStore : public PasswordStore {
 public:
  std::optional<std::string> Lookup(const SecretServer& server) override {
    GError* error = nullptr;
    gchar* found = secret_password_lookup_sync(
        Schema(), nullptr, &error, "protocol", server.protocol.c_str(), "host",
        server.host.c_str(), "port", server.port, "user", server.user.c_str(), nullptr);
    if (error != nullptr) g_error_free(error);
    if (found == nullptr) return std::nullopt;
    std::string password(found);
    secret_password_free(found);
    return password;
  }

  bool Store(const SecretServer& server, const std::string& password) override {
    const std::string label = "Lumireel upload to " + server.user + "@" + server.host;
    GError* error = nullptr;
    const gboolean stored = secret_password_store_sync(
        Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), password.c_str(), nullptr, &error,
        "protocol", server.protocol.c_str(), "host", server.host.c_str(), "port", server.port,
        "user", server.user.c_str(), nullptr);
    if (error != nullptr) g_error_free(error);
    return stored == TRUE;
  }
};

}  // namespace

std::unique_ptr<PasswordStore> OpenSecretPasswordStore() {
  return std::make_unique<SecretPasswordStore>();
}

}  // namespace lumireel::platform::gtk
