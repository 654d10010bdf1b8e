// object_safety_test.cc - catches safety answers other than "safe for scripting and initialization", options that can be turned off, and a nested IObjectSafety that breaks the control's COM identity.
#include <gtest/gtest.h>

#include "control/module/control_ids.h"
#include "tests/control/module/module_fixture.h"

namespace {

constexpr IID kUnknownIid = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

class ObjectSafetyTest : public moduletest::ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    IClassFactory *factory = nullptr;
    ASSERT_EQ(exports_.get_class_object(CLSID_QuilloraActX, IID_IClassFactory, reinterpret_cast<void **>(&factory)),
              S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IObjectSafety, reinterpret_cast<void **>(&safety_)), S_OK);
    factory->Release();
  }
  void TearDown() override {
    if (safety_ != nullptr) {
      EXPECT_EQ(safety_->Release(), 0u);
    }
    EXPECT_EQ(exports_.can_unload_now(), S_OK);
    ModuleTest::TearDown();
  }
  IObjectSafety *safety_ = nullptr;
};

TEST_F(ObjectSafetyTest, GetAnswersBothOptionsForInterfacesTheControlHas) {
  for (const IID *iid : {&IID_IDispatch, &DIID__DQuilloraActX, &IID_IUnknown, &IID_IObjectSafety}) {
    DWORD supported = 0;
    DWORD enabled = 0;
    EXPECT_EQ(safety_->GetInterfaceSafetyOptions(*iid, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, 3u);
    EXPECT_EQ(enabled, 3u);
  }
  DWORD supported = 77;
  DWORD enabled = 77;
  EXPECT_EQ(safety_->GetInterfaceSafetyOptions(kUnknownIid, &supported, &enabled), E_NOINTERFACE);
  EXPECT_EQ(safety_->GetInterfaceSafetyOptions(IID_IClassFactory, &supported, &enabled), E_NOINTERFACE);
}

TEST_F(ObjectSafetyTest, SetTurnsOptionsOnButNeverOff) {
  const struct {
    const IID *iid;
    DWORD mask;
    DWORD enabled;
    HRESULT expected;
  } cases[] = {
      {&IID_IDispatch, 3, 3, S_OK},
      {&IID_IDispatch, 1, 1, S_OK},
      {&IID_IDispatch, 2, 3, S_OK},
      {&IID_IDispatch, 0, 0, S_OK},
      {&IID_IDispatch, 1, 0, E_FAIL},  // turning an option off
      {&IID_IDispatch, 3, 1, E_FAIL},
      {&IID_IDispatch, 4, 4, E_FAIL},  // an option the control does not support
      {&IID_IDispatch, 7, 7, E_FAIL},
      {&DIID__DQuilloraActX, 3, 3, S_OK},
      {&kUnknownIid, 3, 3, E_NOINTERFACE},
      {&kUnknownIid, 4, 0, E_NOINTERFACE},  // the interface is asked about first
  };
  // Twice over: no answer depends on an earlier call.
  for (int round = 0; round < 2; ++round) {
    for (const auto &c : cases) {
      EXPECT_EQ(safety_->SetInterfaceSafetyOptions(*c.iid, c.mask, c.enabled), c.expected)
          << "mask " << c.mask << " enabled " << c.enabled << " round " << round;
    }
  }
}

TEST_F(ObjectSafetyTest, NestedInterfaceSharesTheControlsIdentityAndCount) {
  IUnknown *from_safety = nullptr;
  ASSERT_EQ(safety_->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&from_safety)), S_OK);
  IDispatch *dispatch = nullptr;
  ASSERT_EQ(from_safety->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&dispatch)), S_OK);
  IUnknown *from_dispatch = nullptr;
  ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&from_dispatch)), S_OK);
  EXPECT_EQ(from_safety, from_dispatch);
  IObjectSafety *again = nullptr;
  ASSERT_EQ(dispatch->QueryInterface(IID_IObjectSafety, reinterpret_cast<void **>(&again)), S_OK);
  EXPECT_EQ(again, safety_);
  // One count for the object: four references taken here plus the test's own.
  EXPECT_EQ(safety_->AddRef(), 6u);
  EXPECT_EQ(safety_->Release(), 5u);
  EXPECT_EQ(exports_.can_unload_now(), S_FALSE);
  for (IUnknown *p : {static_cast<IUnknown *>(again), from_dispatch, static_cast<IUnknown *>(dispatch), from_safety})
    p->Release();
}

}  // namespace
