// bridge_manifests_test.cc - faults in placing the host manifests: a browser's folder missed or wrong for the scope, a manifest that names the wrong program, host or extension, a relative program path accepted, a removal that leaves one behind or fails on one already gone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/scratch_folder.h"
#include "tools/bridge/host_manifests.h"

namespace {

using nlohmann::json;

TEST(host_manifests, are_placed_for_each_browser_and_removed) {
  testsupport::ScratchFolder home("bridge_manifests", "HOME");
  unsetenv("XDG_CONFIG_HOME");
  const json chromium_origins = {std::string("chrome-extension://") + bridge::kChromiumExtensionId + "/"};
  const struct {
    std::string path;
    const char *allowed_key;
    json allowed;
  } expected[] = {
      {home.path() + "/.config/chromium/NativeMessagingHosts/com.kestravon.quillora.json", "allowed_origins",
       chromium_origins},
      {home.path() + "/.config/google-chrome/NativeMessagingHosts/com.kestravon.quillora.json", "allowed_origins",
       chromium_origins},
      {home.path() + "/.mozilla/native-messaging-hosts/com.kestravon.quillora.json", "allowed_extensions",
       {bridge::kFirefoxExtensionId}},
  };

  for (const auto &outcome : bridge::place_host_manifests(bridge::ManifestScope::kUser, "/opt/q/quillora-bridge"))
    EXPECT_EQ(outcome.error, "") << outcome.place.path;
  for (const auto &e : expected) {
    std::ifstream in(e.path);
    ASSERT_TRUE(in) << e.path;
    const json manifest = json::parse(in);
    EXPECT_EQ(manifest["name"], "com.kestravon.quillora");
    EXPECT_EQ(manifest["path"], "/opt/q/quillora-bridge");
    EXPECT_EQ(manifest["type"], "stdio");
    EXPECT_EQ(manifest[e.allowed_key], e.allowed) << e.path;
  }

  for (int round = 0; round < 2; ++round) {
    for (const auto &outcome : bridge::remove_host_manifests(bridge::ManifestScope::kUser))
      EXPECT_EQ(outcome.error, "") << "round " << round << ": " << outcome.place.path;
  }
  for (const auto &e : expected) EXPECT_FALSE(std::filesystem::exists(e.path)) << e.path;

  for (const auto &outcome : bridge::place_host_manifests(bridge::ManifestScope::kUser, "quillora-bridge"))
    EXPECT_NE(outcome.error.find("not absolute"), std::string::npos) << outcome.place.path;
  EXPECT_EQ(bridge::manifest_places(bridge::ManifestScope::kSystem).front().path,
            "/etc/chromium/native-messaging-hosts/com.kestravon.quillora.json");
}

}  // namespace
