// module_set.cc - loading the token sources' modules through p11-kit (NSS's soft token by hand, for its database parameters) and finalising them when the last holder lets go.
#include "platform/crypto/pkcs11/module_set.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <p11-kit/p11-kit.h>
#include <stdlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string_view>
#include <tuple>

namespace p11 {
namespace {

constexpr char kNssSoftToken[] = "libsoftokn3.so";
// NSS numbers the slots of the databases it is given from here; 1 to 3 are its own.
constexpr CK_SLOT_ID kFirstNssSlot = 4;

std::string real_path(const std::string &path) {
  char real[PATH_MAX];
  return realpath(path.c_str(), real) != nullptr ? real : path;
}

std::string module_file(CK_FUNCTION_LIST *module) {
  char *file = p11_kit_module_get_filename(module);
  const std::string path = file != nullptr ? file : "";
  free(file);
  return path;
}

// NSS reads its parameters as name='value' pairs: a folder with a quote or a backslash in its
// name cannot be passed and is left out.
bool fits_nss_parameters(const std::string &folder) { return folder.find_first_of("'\\\"") == std::string::npos; }

std::string nss_parameters(const std::vector<NssDatabase> &databases) {
  // Only the databases given, read-only, without NSS's own certificate and module databases.
  std::string tokens;
  for (size_t i = 0; i < databases.size(); ++i) {
    char slot[32];
    snprintf(slot, sizeof slot, "0x%02lx", static_cast<unsigned long>(kFirstNssSlot + i));
    tokens += std::string(i == 0 ? "" : " ") + slot + "=[configdir='" + databases[i].config_dir +
              "' certPrefix='' keyPrefix='' flags=readOnly]";
  }
  return "flags=readOnly,noCertDB,noModDB tokens=<" + tokens + ">";
}

struct SharedState {
  std::mutex mutex;
  std::condition_variable ended;
  std::weak_ptr<ModuleSet> current;
  bool alive = false;  // from loading until the finalisation has ended
};

// Never destroyed: a set may be finalised as late as the process's exit, after static objects.
SharedState &shared_state() {
  static SharedState *state = new SharedState;
  return *state;
}

}  // namespace

std::string text_of(const CK_UTF8CHAR *field, size_t nbytes) {
  std::string text(reinterpret_cast<const char *>(field), nbytes);
  const size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? "" : text.substr(0, end + 1);
}

ModuleSet::ModuleSet(const SourceSettings &settings) {
  if (settings.tokens) {
    registered_ = p11_kit_modules_load_and_initialize(0);
    for (CK_FUNCTION_LIST **module = registered_; module != nullptr && *module != nullptr; ++module)
      modules_.push_back({*module, module_file(*module), {}});
  }
  if (!settings.module.empty()) load_extra(settings.module);
  if (settings.nss) load_nss();
}

void ModuleSet::load_extra(const std::string &path) {
  const std::string real = real_path(path);
  for (const Module &module : modules_) {
    if (real_path(module.path) == real) return;
  }
  extra_ = p11_kit_module_load(path.c_str(), 0);
  if (extra_ == nullptr) return;
  if (p11_kit_module_initialize(extra_) != CKR_OK) {
    p11_kit_module_release(extra_);
    extra_ = nullptr;
    return;
  }
  modules_.push_back({extra_, path, {}});
}

void ModuleSet::load_nss() {
  std::vector<NssDatabase> databases = nss_databases();
  std::erase_if(databases, [](const NssDatabase &db) { return !fits_nss_parameters(db.folder); });
  if (databases.empty()) return;
  // Mapped for good once loaded, like the platform's own libraries: NSS keeps what its first
  // initialisation allocates in its globals, which an unload would lose on every reload.
  nss_library_ = dlopen(kNssSoftToken, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (nss_library_ == nullptr) return;
  auto get_list = reinterpret_cast<CK_C_GetFunctionList>(dlsym(nss_library_, "C_GetFunctionList"));
  std::string parameters = nss_parameters(databases);
  CK_C_INITIALIZE_ARGS args{};
  args.flags = CKF_OS_LOCKING_OK;
  args.pReserved = parameters.data();
  link_map *map = nullptr;
  // Another part of the process that initialised NSS's module first keeps it: it is not ours to use.
  if (get_list == nullptr || dlinfo(nss_library_, RTLD_DI_LINKMAP, &map) != 0 || get_list(&nss_) != CKR_OK ||
      nss_->C_Initialize(&args) != CKR_OK) {
    nss_ = nullptr;
    dlclose(nss_library_);
    nss_library_ = nullptr;
    return;
  }
  Module module{nss_, map->l_name, {}};
  for (const NssDatabase &db : databases) module.nss_folders.push_back(db.folder);
  modules_.push_back(std::move(module));
}

ModuleSet::~ModuleSet() {
  if (nss_ != nullptr) nss_->C_Finalize(nullptr);
  if (nss_library_ != nullptr) dlclose(nss_library_);
  if (extra_ != nullptr) {
    p11_kit_module_finalize(extra_);
    p11_kit_module_release(extra_);
  }
  if (registered_ != nullptr) p11_kit_modules_finalize_and_release(registered_);
}

std::vector<Token> ModuleSet::tokens() const {
  std::vector<Token> all;
  for (const Module &module : modules_) {
    CK_ULONG count = 0;
    if (module.functions->C_GetSlotList(CK_TRUE, nullptr, &count) != CKR_OK || count == 0) continue;
    std::vector<CK_SLOT_ID> slots(count);
    if (module.functions->C_GetSlotList(CK_TRUE, slots.data(), &count) != CKR_OK) continue;
    slots.resize(count);
    std::vector<Token> found;
    for (CK_SLOT_ID slot : slots) {
      Token token;
      token.module = module.functions;
      token.slot = slot;
      token.module_path = module.path;
      if (module.functions->C_GetTokenInfo(slot, &token.info) != CKR_OK ||
          (token.info.flags & CKF_TOKEN_INITIALIZED) == 0)
        continue;
      token.source = "token \"" + text_of(token.info.label, sizeof token.info.label) + "\"";
      if (!module.nss_folders.empty()) {
        if (slot < kFirstNssSlot || slot - kFirstNssSlot >= module.nss_folders.size()) continue;
        token.nss_database = module.nss_folders[slot - kFirstNssSlot];
        token.source = "NSS database " + token.nss_database;
      }
      found.push_back(std::move(token));
    }
    // NSS's slots follow the order of its databases; other modules' tokens go by label and serial.
    const bool nss = !module.nss_folders.empty();
    std::sort(found.begin(), found.end(), [nss](const Token &a, const Token &b) {
      const auto key = [nss](const Token &t) {
        const std::string_view serial(reinterpret_cast<const char *>(t.info.serialNumber), sizeof t.info.serialNumber);
        return nss ? std::make_tuple(std::string_view(), std::string_view(), t.slot)
                   : std::make_tuple(std::string_view(t.source), serial, t.slot);
      };
      return key(a) < key(b);
    });
    all.insert(all.end(), found.begin(), found.end());
  }
  return all;
}

std::shared_ptr<ModuleSet> acquire_modules() {
  SharedState &state = shared_state();
  std::unique_lock<std::mutex> lock(state.mutex);
  if (std::shared_ptr<ModuleSet> current = state.current.lock()) return current;
  const SourceSettings settings = effective_settings();
  if (!settings.tokens && !settings.nss && settings.module.empty()) return nullptr;
  // A set whose last holder has let go may still be finalising; NSS's module, one per process,
  // must be finalised before it is initialised again.
  state.ended.wait(lock, [&] { return !state.alive; });
  state.alive = true;
  std::shared_ptr<ModuleSet> set(new ModuleSet(settings), [](ModuleSet *ending) {
    delete ending;
    SharedState &shared = shared_state();
    std::lock_guard<std::mutex> ended_lock(shared.mutex);
    shared.alive = false;
    shared.ended.notify_all();
  });
  state.current = set;
  return set;
}

}  // namespace p11
