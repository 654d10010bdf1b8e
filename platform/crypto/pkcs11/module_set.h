// module_set.h - the PKCS #11 modules behind the personal store's tokens: loaded together as the settings say, shared while anything uses them, finalised once by the last user (internal).
#pragma once

#include <p11-kit/pkcs11.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/crypto/pkcs11/source_settings.h"

namespace p11 {

// An initialised token present in a slot of a loaded module. `module` is valid while the set
// that listed the token lives.
struct Token {
  CK_FUNCTION_LIST *module = nullptr;
  CK_SLOT_ID slot = 0;
  CK_TOKEN_INFO info{};
  std::string module_path;   // the module's file, which the URIs of the token's keys name
  std::string nss_database;  // the database's folder for a token of NSS's own module, else empty
  std::string source;        // what the user knows it by: token "<label>", or NSS database <folder>
};

// Fixed-width, blank-padded PKCS #11 text without its padding.
std::string text_of(const CK_UTF8CHAR *field, size_t nbytes);

class ModuleSet {
 public:
  // Loads and initialises the modules the settings name: p11-kit's registered modules, then the
  // extra module (unless p11-kit has it already), then NSS's soft token over the databases that
  // exist. A module that does not load or initialise is left out.
  explicit ModuleSet(const SourceSettings &settings);
  // Finalises and unloads every module, each once.
  ~ModuleSet();
  ModuleSet(const ModuleSet &) = delete;
  ModuleSet &operator=(const ModuleSet &) = delete;

  // The tokens present now, module by module in loading order and, within a module, by label
  // and serial number, so the order does not depend on which reader a card sits in.
  std::vector<Token> tokens() const;

 private:
  struct Module {
    CK_FUNCTION_LIST *functions = nullptr;
    std::string path;
    std::vector<std::string> nss_folders;  // NSS's module: the database of slot kFirstNssSlot + i
  };

  void load_extra(const std::string &path);
  void load_nss();

  CK_FUNCTION_LIST **registered_ = nullptr;  // p11-kit's, finalised and released together
  CK_FUNCTION_LIST *extra_ = nullptr;
  void *nss_library_ = nullptr;
  CK_FUNCTION_LIST *nss_ = nullptr;
  std::vector<Module> modules_;
};

// The module set in use, or a new one loaded as effective_settings() say; null when those switch
// every token source off. The set lives while a holder keeps it: a store of "MY" holds it while
// open, a signature while it signs. The last holder to let go finalises it, so the next use loads
// the modules afresh and sees the tokens present then.
std::shared_ptr<ModuleSet> acquire_modules();

}  // namespace p11
