// host_manifests.cc - the browsers' manifest folders and the manifests' contents.
#include "tools/bridge/host_manifests.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>

namespace bridge {

namespace {

namespace fs = std::filesystem;

std::string env_or(const char *name, const std::string &fallback) {
  const char *value = getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

ManifestPlace place(const char *browser, const std::string &folder, bool firefox) {
  return ManifestPlace{browser, folder + "/" + kHostName + ".json", firefox};
}

// Into a temporary file beside the manifest, then renamed over it: a browser never reads half.
std::string write_whole(const std::string &path, const std::string &text) {
  std::error_code error;
  fs::create_directories(fs::path(path).parent_path(), error);
  if (error) return "cannot create its folder: " + error.message();
  const std::string temporary = path + ".tmp-" + std::to_string(getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      fs::remove(temporary, error);
      return "cannot be written";
    }
  }
  fs::permissions(temporary, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                 fs::perms::others_read, error);
  fs::rename(temporary, path, error);
  if (error) {
    const std::string message = "cannot be written: " + error.message();
    fs::remove(temporary, error);
    return message;
  }
  return "";
}

}  // namespace

std::vector<ManifestPlace> manifest_places(ManifestScope scope) {
  if (scope == ManifestScope::kSystem) {
    return {place("Chromium", "/etc/chromium/native-messaging-hosts", false),
            place("Google Chrome", "/etc/opt/chrome/native-messaging-hosts", false),
            place("Firefox", "/usr/lib/mozilla/native-messaging-hosts", true)};
  }
  const std::string home = env_or("HOME", "/");
  const std::string config = env_or("XDG_CONFIG_HOME", home + "/.config");
  return {place("Chromium", config + "/chromium/NativeMessagingHosts", false),
          place("Google Chrome", config + "/google-chrome/NativeMessagingHosts", false),
          place("Firefox", home + "/.mozilla/native-messaging-hosts", true)};
}

std::string manifest_text(const ManifestPlace &place, const std::string &bridge_path) {
  nlohmann::ordered_json manifest = {{"name", kHostName},
                                     {"description", "Quillora: a web page asks its user for a digital signature"},
                                     {"path", bridge_path},
                                     {"type", "stdio"}};
  if (place.firefox) {
    manifest["allowed_extensions"] = {kFirefoxExtensionId};
  } else {
    manifest["allowed_origins"] = {std::string("chrome-extension://") + kChromiumExtensionId + "/"};
  }
  return manifest.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::vector<ManifestOutcome> place_host_manifests(ManifestScope scope, const std::string &bridge_path) {
  std::vector<ManifestOutcome> outcomes;
  for (const ManifestPlace &place : manifest_places(scope)) {
    const std::string error = fs::path(bridge_path).is_absolute()
                                  ? write_whole(place.path, manifest_text(place, bridge_path))
                                  : "the bridge's path '" + bridge_path + "' is not absolute";
    outcomes.push_back({place, error});
  }
  return outcomes;
}

std::vector<ManifestOutcome> remove_host_manifests(ManifestScope scope) {
  std::vector<ManifestOutcome> outcomes;
  for (const ManifestPlace &place : manifest_places(scope)) {
    std::error_code error;
    fs::remove(place.path, error);
    outcomes.push_back({place, error ? "cannot be removed: " + error.message() : ""});
  }
  return outcomes;
}

void remove_host_manifests_naming(const std::string &bridge_path) {
  for (const ManifestScope scope : {ManifestScope::kUser, ManifestScope::kSystem}) {
    for (const ManifestPlace &place : manifest_places(scope)) {
      std::ifstream in(place.path, std::ios::binary);
      const nlohmann::json manifest = nlohmann::json::parse(in, nullptr, false);
      in.close();
      const auto path = manifest.is_object() ? manifest.find("path") : manifest.end();
      if (path == manifest.end() || *path != bridge_path) continue;
      std::error_code ignored;
      fs::remove(place.path, ignored);
    }
  }
}

}  // namespace bridge
