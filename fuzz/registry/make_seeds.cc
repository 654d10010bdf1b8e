// make_seeds.cc - writes the registry fuzz target's seeds: hives written by the registry itself, as the control's registration and the uninstaller's keys leave them.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/registry/registry.h"

namespace {

bool set(HKEY hive, const char *path, const char *name, DWORD type, const void *data, DWORD nbytes) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(hive, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) return false;
  const LSTATUS status = RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), nbytes);
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool set_text(HKEY hive, const char *path, const char *name, const char *text) {
  return set(hive, path, name, REG_SZ, text, static_cast<DWORD>(std::string(text).size() + 1));
}

// Hive files are private; their seeds are ordinary files of the source tree.
void copy_seed(const std::string &from, const std::string &to) {
  namespace fs = std::filesystem;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
    return 2;
  }
  namespace fs = std::filesystem;
  std::string root = (fs::temp_directory_path() / "registry_seeds_XXXXXX").string();
  if (mkdtemp(root.data()) == nullptr) return 1;
  setenv("QUILLORA_REGISTRY_ROOT", root.c_str(), 1);

  const char *clsid = "CLSID\\{6B1E2C4D-0A3F-4E55-9C21-7D8E9F0A1B2C}";
  const std::string inproc = std::string(clsid) + "\\InprocServer32";
  const std::string misc = std::string(clsid) + "\\MiscStatus\\1";
  const DWORD dword = 0x20191;
  const BYTE binary[] = {0, 1, 2, 0, 0xFF};
  const bool ok =
      set_text(HKEY_CLASSES_ROOT, clsid, nullptr, "KESTRAVON Quillora Control") &&
      set_text(HKEY_CLASSES_ROOT, inproc.c_str(), nullptr, "/opt/quillora/quillora.ocx") &&
      set_text(HKEY_CLASSES_ROOT, inproc.c_str(), "ThreadingModel", "Apartment") &&
      set_text(HKEY_CLASSES_ROOT, misc.c_str(), nullptr, "131473") &&
      set_text(HKEY_CLASSES_ROOT, "KESTRAVON.Quillora.1\\CLSID", nullptr, "{6B1E2C4D-0A3F-4E55-9C21-7D8E9F0A1B2C}") &&
      set_text(HKEY_LOCAL_MACHINE, "SOFTWARE\\KESTRAVON\\quillora", "CWD", "C:\\Program Files\\quillora") &&
      set_text(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\quillora", "DisplayName",
               "quillora") &&
      set(HKEY_CURRENT_USER, "Software\\Test", "Count", REG_DWORD, &dword, sizeof dword) &&
      set(HKEY_CURRENT_USER, "Software\\Test", "Blob", REG_BINARY, binary, sizeof binary) &&
      set(HKEY_CURRENT_USER, "Software\\Test\\Empty", "", REG_BINARY, nullptr, 0);
  if (!ok) {
    std::fprintf(stderr, "make_seeds: a registry write failed\n");
    return 1;
  }
  const std::string corpus = argv[1];
  for (const char *hive : {"classes_root", "local_machine", "current_user"}) copy_seed(root + "/" + hive, corpus + "/" + hive);
  // A hive cut short, so the damaged path starts covered.
  copy_seed(root + "/local_machine", corpus + "/local_machine_cut");
  fs::resize_file(corpus + "/local_machine_cut", fs::file_size(corpus + "/local_machine_cut") - 9);
  fs::remove_all(root);
  return 0;
}
