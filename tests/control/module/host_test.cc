// host_test.cc - catches a control that a host cannot reach through the registry, names or numbers its methods wrongly, converts script arguments or results wrongly, or describes itself with the wrong type information.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/module/control_ids.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/ole_text.h"
#include "platform/com/typelib.h"
#include "platform/com/variant.h"
#include "platform/windows/headless_user.h"
#include "tests/control/module/module_fixture.h"
#include "tests/control/signature_check.h"
#include "tests/control/store_fixture.h"
#include "tools/quillora/certs/store_admin.h"

namespace {

class HostTest : public moduletest::ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    winsys::use_headless_back_end(&user_);
    ASSERT_EQ(exports_.register_server(), S_OK);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(u"KESTRAVON.Quillora.1", &clsid), S_OK);
    ASSERT_EQ(clsid, CLSID_QuilloraActX);
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void **>(&control_)),
              S_OK);
  }
  void TearDown() override {
    if (control_ != nullptr) control_->Release();
    CoUninitialize();
    winsys::use_headless_back_end(nullptr);
    ModuleTest::TearDown();
  }

  // Calls a method with string arguments (nullptr: a null BSTR), given in the script's order.
  HRESULT call(DISPID dispid, const std::vector<const char16_t *> &args, std::string *result,
               UINT *arg_error = nullptr) {
    std::vector<VARIANT> reversed(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
      VARIANT &v = reversed[args.size() - 1 - i];
      VariantInit(&v);
      v.vt = VT_BSTR;
      v.bstrVal = SysAllocString(args[i]);
    }
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(args.size()), 0};
    VARIANT out;
    VariantInit(&out);
    const HRESULT hr = control_->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, &params, &out, nullptr, arg_error);
    if (SUCCEEDED(hr)) {
      EXPECT_EQ(out.vt, VT_BSTR);
      EXPECT_NE(out.bstrVal, nullptr);
      *result = com::ole_to_ansi(out.bstrVal, SysStringLen(out.bstrVal));
    }
    VariantClear(&out);
    for (VARIANT &v : reversed) VariantClear(&v);
    return hr;
  }

  winsys::HeadlessUser user_;
  IDispatch *control_ = nullptr;
};

TEST_F(HostTest, NamesFindTheirIdentifiersInAnyCase) {
  const struct {
    const char16_t *name;
    DISPID dispid;
  } names[] = {{u"signText", 1}, {u"SIGNHTML", 2}, {u"signtextwithfilter", 3}, {u"SignHtmlWithFilter", 4}};
  for (const auto &n : names) {
    LPOLESTR name = const_cast<LPOLESTR>(n.name);
    DISPID dispid = 0;
    EXPECT_EQ(control_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &dispid), S_OK);
    EXPECT_EQ(dispid, n.dispid);
  }
  LPOLESTR unknown = const_cast<LPOLESTR>(u"signPdf");
  DISPID dispid = 0;
  EXPECT_EQ(control_->GetIDsOfNames(IID_NULL, &unknown, 1, 0, &dispid), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(dispid, DISPID_UNKNOWN);
}

TEST_F(HostTest, EachMethodRunsItsOwnRequest) {
  std::string result;
  // No certificate is installed, and the HTML is refused before any is looked for.
  ASSERT_EQ(call(1, {u"hola"}, &result), S_OK);
  EXPECT_EQ(result, "error:noMatchingCert");
  ASSERT_EQ(call(2, {u"<script>x</script>"}, &result), S_OK);
  EXPECT_EQ(result, "error:internalError");
  ASSERT_EQ(call(3, {u"hola", u"X=1", u"", u""}, &result), S_OK);
  EXPECT_EQ(result.rfind("error:internalError\n", 0), 0u) << result;
  EXPECT_GT(result.size(), 20u);
  ASSERT_EQ(call(4, {u"<script>", u"X=1", u"", u""}, &result), S_OK);
  EXPECT_EQ(result, "error:internalError");
  ASSERT_EQ(user_.boxes().size(), 4u);
  EXPECT_EQ(user_.boxes()[0].text, "No te cap certificat de signatura instal\267lat.");
  EXPECT_EQ(user_.boxes()[1].caption, "Error");
  EXPECT_EQ(user_.boxes()[2].text, "No s'ha trobat cap certificat v\340lid per a realitzar la signatura.");
  EXPECT_EQ(user_.boxes()[3].caption, "Error");
  // A null automation string is an empty text; a text reaches the request in the ANSI code page.
  ASSERT_EQ(call(1, {nullptr}, &result), S_OK);
  EXPECT_EQ(result, "error:noMatchingCert");
  ASSERT_EQ(call(4, {u"caf\u00e9 \u4e2d <iframe>", nullptr, nullptr, nullptr}, &result), S_OK);
  EXPECT_EQ(result, "error:internalError");
}

TEST_F(HostTest, WrongCallsFailWithoutRunningARequest) {
  std::string result;
  EXPECT_EQ(call(5, {u"x"}, &result), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(call(0, {u"x"}, &result), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(call(1, {}, &result), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(call(3, {u"x", u"y"}, &result), DISP_E_BADPARAMCOUNT);

  VARIANT args[4];
  for (VARIANT &v : args) {
    VariantInit(&v);
    v.vt = VT_BSTR;  // null strings
  }
  args[2].vt = VT_DISPATCH;  // the second argument, issuer, is no string
  args[2].pdispVal = nullptr;
  DISPPARAMS params = {args, nullptr, 4, 0};
  UINT arg_error = 99;
  EXPECT_EQ(control_->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, &arg_error),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_error, 2u);
  EXPECT_EQ(control_->Invoke(1, IID_IDispatch, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  EXPECT_TRUE(user_.boxes().empty());
}

using signature_check::verifies;

// A script's string reaches the request as the ANSI code page's bytes, cut at its first NUL:
// what is signed is those bytes, with the default character for what 1252 lacks.
TEST_F(HostTest, TheSignedBytesAreTheScriptsStringInTheAnsiCodePageCutAtItsNul) {
  certs::CertificateRequest request = request_for("CN=Host Signer");
  request.key_usage = 0xC0;
  std::string error;
  auto made = certs::make_certificate(request, &error);
  ASSERT_TRUE(made) << error;
  ASSERT_EQ(certs::install_certificate(made->der, made->key.get(), "", &error), 0u) << error;
  user_.then([](HWND dialog) { winsys::HeadlessUser::click(dialog, IDOK); });

  const std::u16string text = u"a\u00e9\u20ac\u4e2db";
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_BSTR;
  const std::u16string with_tail = text + u'\0' + u"tail";
  arg.bstrVal = SysAllocStringLen(with_tail.data(), static_cast<UINT>(with_tail.size()));
  DISPPARAMS params = {&arg, nullptr, 1, 0};
  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(control_->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, &out, nullptr, nullptr), S_OK);
  ASSERT_EQ(out.vt, VT_BSTR);
  const std::string signature = com::ole_to_ansi(out.bstrVal, SysStringLen(out.bstrVal));
  VariantClear(&out);
  VariantClear(&arg);
  EXPECT_TRUE(verifies(signature, "a\351\200?b")) << signature;
  EXPECT_FALSE(verifies(signature, std::string("a\351\200?b\0tail", 10)));
  EXPECT_TRUE(user_.boxes().empty());
}

TEST_F(HostTest, TypeInformationDescribesTheDispatchInterface) {
  UINT count = 0;
  ASSERT_EQ(control_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo *info = nullptr;
  ASSERT_EQ(control_->GetTypeInfo(0, 0x0409, &info), S_OK);
  TYPEATTR *attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, DIID__DQuilloraActX);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE);
  EXPECT_EQ(attr->cFuncs, 4);
  info->ReleaseTypeAttr(attr);
  const std::vector<std::vector<std::string>> expected = {
      {"signText", "text"},
      {"signHTML", "text"},
      {"signTextWithFilter", "text", "issuer", "sn", "keyUsage"},
      {"signHTMLWithFilter", "text", "issuer", "sn", "keyUsage"},
  };
  for (UINT i = 0; i < 4; ++i) {
    FUNCDESC *func = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &func), S_OK);
    EXPECT_EQ(func->memid, static_cast<MEMBERID>(i + 1));
    EXPECT_EQ(func->invkind, INVOKE_FUNC);
    EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_BSTR);
    ASSERT_EQ(static_cast<size_t>(func->cParams), expected[i].size() - 1);
    for (SHORT p = 0; p < func->cParams; ++p) EXPECT_EQ(func->lprgelemdescParam[p].tdesc.vt, VT_BSTR);
    info->ReleaseFuncDesc(func);
    BSTR names[5] = {};
    UINT got = 0;
    ASSERT_EQ(info->GetNames(static_cast<MEMBERID>(i + 1), names, 5, &got), S_OK);
    ASSERT_EQ(got, expected[i].size());
    for (UINT n = 0; n < got; ++n) {
      EXPECT_EQ(com::ole_to_ansi(names[n], SysStringLen(names[n])), expected[i][n]);
      SysFreeString(names[n]);
    }
  }
  ITypeLib *lib = nullptr;
  ASSERT_EQ(info->GetContainingTypeLib(&lib, nullptr), S_OK);
  TLIBATTR *lib_attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&lib_attr), S_OK);
  EXPECT_EQ(lib_attr->lcid, 0x0409u);
  EXPECT_EQ(lib_attr->wMajorVerNum, 2);
  EXPECT_EQ(lib_attr->wMinorVerNum, 0);
  lib->ReleaseTLibAttr(lib_attr);
  EXPECT_EQ(lib->GetTypeInfoCount(), 1u);  // no coclass, no event interface
  lib->Release();
  info->Release();
}

}  // namespace
