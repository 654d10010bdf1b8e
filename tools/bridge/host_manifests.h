// host_manifests.h - where each browser looks for our native messaging host, and placing and removing the manifests that name it.
#pragma once

#include <string>
#include <vector>

namespace bridge {

// The host's name, as the extension asks for it with connectNative.
inline constexpr char kHostName[] = "com.kestravon.quillora";
// The extension's ids: Chromium's follows from the public key fixed in its manifest; Firefox's is
// the one its manifest declares. Only these may start the host.
inline constexpr char kChromiumExtensionId[] = "icdmbkoehganncdejhibhcaebmpfidoc";
inline constexpr char kFirefoxExtensionId[] = "quillora@kestravon.example";

enum class ManifestScope {
  kUser,    // the user's own browser folders, under $HOME
  kSystem,  // the system-wide folders, for every user (needs root)
};

struct ManifestPlace {
  std::string browser;  // "Chromium", "Google Chrome" or "Firefox"
  std::string path;     // the manifest file
  bool firefox;         // names the extension by id rather than by origin
};

// The manifest files of every browser we serve, in the scope: per user under $XDG_CONFIG_HOME
// (else ~/.config) for Chromium and Google Chrome and under ~/.mozilla for Firefox; system-wide
// under /etc/chromium, /etc/opt/chrome and /usr/lib/mozilla.
std::vector<ManifestPlace> manifest_places(ManifestScope scope);

// The manifest's JSON text for a place, naming the host program at `bridge_path` (absolute).
std::string manifest_text(const ManifestPlace &place, const std::string &bridge_path);

struct ManifestOutcome {
  ManifestPlace place;
  std::string error;  // "" when done
};

// Writes every place's manifest (replacing an older one whole, creating missing folders), and
// goes on past a failure. `bridge_path` must be absolute: browsers start what it names.
std::vector<ManifestOutcome> place_host_manifests(ManifestScope scope, const std::string &bridge_path);
// Removes every place's manifest; one that is not there is not a failure.
std::vector<ManifestOutcome> remove_host_manifests(ManifestScope scope);
// Removes, in both scopes, the manifests that name the program at `bridge_path`, so that an
// installation going away takes its own along and leaves any other's. Quiet: a manifest that
// cannot be read or removed (a system-wide one, for a user) stays.
void remove_host_manifests_naming(const std::string &bridge_path);

}  // namespace bridge
