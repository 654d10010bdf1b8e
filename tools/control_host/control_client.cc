// control_client.cc - call_control_method: CLSIDFromProgID, CoCreateInstance, GetIDsOfNames and Invoke with automation strings.
#include "tools/control_host/control_client.h"

#include <stdio.h>

#include <memory>
#include <span>
#include <vector>

#include "platform/com/activation.h"
#include "platform/codepage/multibyte.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"
#include "tools/control_host/data_problems.h"

namespace host {

namespace {

struct ReleaseInterface {
  void operator()(IUnknown *unknown) const { unknown->Release(); }
};
using DispatchPtr = std::unique_ptr<IDispatch, ReleaseInterface>;

std::string hresult_text(const char *what, HRESULT hr) {
  char text[96];
  snprintf(text, sizeof text, "%s failed (HRESULT 0x%08X)", what, static_cast<unsigned>(hr));
  return text;
}

// A new automation string holding the UTF-8 text, converted straight into it.
BSTR bstr_from_utf8(const std::string &utf8) {
  const int nbytes = static_cast<int>(utf8.size());
  const int units = nbytes == 0 ? 0 : MultiByteToWideChar(CP_UTF8, 0, utf8.data(), nbytes, nullptr, 0);
  BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(units));
  if (text != nullptr && units > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), nbytes, text, units);
  return text;
}

// The automation strings of one call, owned until it returns; DISPPARAMS wants them last first.
class Arguments {
 public:
  // Takes the UTF-8 texts, releasing each once converted.
  explicit Arguments(std::vector<std::optional<std::string>> &arguments) : m_variants(arguments.size()) {
    for (size_t i = 0; i < arguments.size(); ++i) {
      VARIANT &v = m_variants[arguments.size() - 1 - i];
      VariantInit(&v);
      v.vt = VT_BSTR;
      v.bstrVal = arguments[i] ? bstr_from_utf8(*arguments[i]) : nullptr;
      arguments[i].reset();
    }
  }
  explicit Arguments(std::span<const std::optional<std::u16string>> arguments) : m_variants(arguments.size()) {
    for (size_t i = 0; i < arguments.size(); ++i) {
      VARIANT &v = m_variants[arguments.size() - 1 - i];
      VariantInit(&v);
      v.vt = VT_BSTR;
      v.bstrVal = arguments[i] ? SysAllocStringLen(arguments[i]->data(), static_cast<UINT>(arguments[i]->size()))
                               : nullptr;
    }
  }
  ~Arguments() {
    for (VARIANT &v : m_variants) VariantClear(&v);
  }
  Arguments(const Arguments &) = delete;
  Arguments &operator=(const Arguments &) = delete;

  DISPPARAMS params() { return DISPPARAMS{m_variants.data(), nullptr, static_cast<UINT>(m_variants.size()), 0}; }

 private:
  std::vector<VARIANT> m_variants;
};

std::string invoke(std::u16string_view method, Arguments &args, std::u16string *result) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(kControlProgId, &clsid);
  // A registry that cannot be read looks like one without the control; it must not be taken for one.
  if (FAILED(hr)) {
    if (std::string problem = registry_problem(); !problem.empty()) return problem;
    return hr == CO_E_CLASSSTRING ? "the control is not registered (run 'quillora register')"
                                  : hresult_text("looking up the control's class", hr);
  }
  IDispatch *raw = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void **>(&raw));
  if (FAILED(hr)) {
    if (std::string problem = registry_problem(); !problem.empty()) return problem;
    return hresult_text("creating the control", hr);
  }
  const DispatchPtr control(raw);

  std::u16string name(method);
  LPOLESTR names[] = {name.data()};
  DISPID dispid = DISPID_UNKNOWN;
  hr = control->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
  if (FAILED(hr)) return hresult_text("finding the method", hr);

  DISPPARAMS params = args.params();
  VARIANT answer;
  VariantInit(&answer);
  EXCEPINFO exception{};
  UINT bad_argument = 0;
  hr = control->Invoke(dispid, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &answer, &exception,
                       &bad_argument);
  if (FAILED(hr)) return hresult_text("the call", hr);
  if (answer.vt != VT_BSTR) {
    VariantClear(&answer);
    return "the control answered something other than a string";
  }
  result->assign(answer.bstrVal, SysStringLen(answer.bstrVal));
  VariantClear(&answer);
  return "";
}

}  // namespace

std::string call_control_method(std::u16string_view method, std::vector<std::optional<std::string>> arguments,
                                std::u16string *result) {
  Arguments args(arguments);
  return invoke(method, args, result);
}

std::string call_control_method(std::u16string_view method, std::span<const std::optional<std::u16string>> arguments,
                                std::u16string *result) {
  Arguments args(arguments);
  return invoke(method, args, result);
}

}  // namespace host
