#include "platform/keyring.h"

#include <libsecret/secret.h>

namespace platform {

namespace {

const SecretSchema* Schema() {
  static const SecretSchema schema = {"org.veltrocrm.SignIn",
                                      SECRET_SCHEMA_NONE,
                                      {
                                          {"place", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                          {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                          {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                      },
                                      0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  return &schema;
}

std::string TakeError(GError* error) {
  if (!error) return std::string();
  std::string text = error->message ? error->message : "unknown error";
  g_error_free(error);
  return text;
}

}  // namespace

bool StoreInKeyring(const std::string& place, const KeyringEntry& entry, std::string& problem) {
  // One entry per place: a new user name replaces the old one.
  RemoveFromKeyring(place);
  GError* error = nullptr;
  const std::string label = "VeltroCRM: " + place;
  const gboolean stored =
      secret_password_store_sync(Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), entry.password.Reveal().c_str(), nullptr,
                                 &error, "place", place.c_str(), "user", entry.user.c_str(), nullptr);
  problem = TakeError(error);
  return stored;
}

std::optional<KeyringEntry> LookUpInKeyring(const std::string& place, std::string& problem) {
  GError* error = nullptr;
  GList* found = secret_password_search_sync(
      Schema(), static_cast<SecretSearchFlags>(SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS), nullptr, &error,
      "place", place.c_str(), nullptr);
  problem = TakeError(error);
  std::optional<KeyringEntry> entry;
  if (found) {
    auto* item = static_cast<SecretRetrievable*>(found->data);
    GHashTable* attributes = secret_retrievable_get_attributes(item);
    const auto* user = static_cast<const char*>(g_hash_table_lookup(attributes, "user"));
    SecretValue* value = secret_retrievable_retrieve_secret_sync(item, nullptr, &error);
    problem = TakeError(error);
    if (value && user) entry = KeyringEntry{user, secret_value_get_text(value) ? secret_value_get_text(value) : ""};
    if (value) secret_value_unref(value);
    g_hash_table_unref(attributes);
  }
  g_list_free_full(found, g_object_unref);
  return entry;
}

void RemoveFromKeyring(const std::string& place) {
  GError* error = nullptr;
  secret_password_clear_sync(Schema(), nullptr, &error, "place", place.c_str(), nullptr);
  TakeError(error);
}

}  // namespace platform
