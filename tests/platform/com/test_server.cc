// test_server.cc - a small in-process server for the COM runtime's tests: one class, the two exports COM calls, and a type library resource (damaged in the DAMAGED_TYPELIB build).
#include <atomic>

#include "platform/com/typelib_image.h"
#include "platform/modules/modules.h"
#include "tests/platform/com/test_server.h"

namespace {

std::atomic<long> g_live{0};

// Answers IUnknown only: enough to see that activation reached this module, and, through the
// live count, whether the module may be unloaded.
class Thing final : public IUnknown {
 public:
  Thing() { ++g_live; }
  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    if (!(riid == IID_IUnknown)) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = this;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

 private:
  ~Thing() { --g_live; }
  std::atomic<ULONG> m_refs{0};
};

class Factory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    if (!(riid == IID_IUnknown) && !(riid == IID_IClassFactory)) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IClassFactory *>(this);
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    Thing *thing = new Thing;
    thing->AddRef();
    const HRESULT hr = thing->QueryInterface(riid, ppv);
    thing->Release();
    return hr;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

constexpr auto kImage =
    com::typelib::make_image<com::typelib::image_size(testserver::kLibrary)>(testserver::kLibrary);

#ifdef DAMAGED_TYPELIB
// The image one byte short, as a truncated resource would be.
const ResourceEntry kResources[] = {{"TYPELIB", 1, kImage.data(), static_cast<DWORD>(kImage.size() - 1)}};
#else
const ResourceEntry kResources[] = {{"TYPELIB", 1, kImage.data(), static_cast<DWORD>(kImage.size())}};
#endif

}  // namespace

PLATFORM_MODULE_RESOURCES(kResources);

extern "C" {

__attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void **ppv) {
  if (!(clsid == testserver::kClassId)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return g_live == 0 ? S_OK : S_FALSE; }

}  // extern "C"
