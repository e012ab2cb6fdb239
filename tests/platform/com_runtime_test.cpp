#include "com/com_runtime.h"

#include <gtest/gtest.h>

#include "com/class_table.h"
#include "com/com_object.h"

namespace {

constexpr CLSID kClass{0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr IID kIidFirst{0xAAAA0001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
constexpr IID kIidSecond{0xAAAA0002, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};
constexpr IID kIidMissing{0xAAAA0003, 0, 0, {0, 0, 0, 0, 0, 0, 0, 3}};

struct IFirst : IUnknown {
  static constexpr const IID& iid = kIidFirst;
  virtual int First() = 0;
};
struct ISecond : IUnknown {
  static constexpr const IID& iid = kIidSecond;
  virtual int Second() = 0;
};

int g_alive = 0;

class Both final : public ComObject<IFirst, ISecond> {
 public:
  Both() { ++g_alive; }
  ~Both() override { --g_alive; }
  int First() override { return 1; }
  int Second() override { return 2; }
};

HRESULT MakeBoth(REFIID riid, void** ppv) {
  auto* object = new Both;
  const HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

class ComRuntime : public ::testing::Test {
 protected:
  com::ScopedClassOverride registered_{kClass, MakeBoth};
};

TEST_F(ComRuntime, CreationNeedsAnInitialisedThread) {
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, kIidFirst, &p), CO_E_NOTINITIALIZED);
  EXPECT_EQ(p, nullptr);

  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE) << "counted per thread";
  CoUninitialize();
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, kIidFirst, &p), S_OK) << "one still open";
  static_cast<IFirst*>(p)->Release();
  CoUninitialize();
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, kIidFirst, &p), CO_E_NOTINITIALIZED);
  EXPECT_EQ(g_alive, 0);
}

TEST_F(ComRuntime, FailuresLeaveNothingBehind) {
  CoInitialize(nullptr);
  constexpr CLSID kUnknownClass{0x99999999, 0, 0, {0, 0, 0, 0, 0, 0, 0, 9}};
  struct Case {
    CLSID clsid;
    bool outer;
    DWORD context;
    IID iid;
    HRESULT expected;
  } cases[] = {
      {kUnknownClass, false, CLSCTX_INPROC_SERVER, kIidFirst, REGDB_E_CLASSNOTREG},
      {kClass, false, CLSCTX_INPROC_HANDLER, kIidFirst, REGDB_E_CLASSNOTREG},
      {kClass, true, CLSCTX_INPROC_SERVER, kIidFirst, CLASS_E_NOAGGREGATION},
      {kClass, false, CLSCTX_INPROC, kIidMissing, E_NOINTERFACE},
  };
  Both outer;  // only its address is passed
  for (const Case& c : cases) {
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(c.clsid, c.outer ? static_cast<IFirst*>(&outer) : nullptr, c.context, c.iid, &p),
              c.expected);
    EXPECT_EQ(p, nullptr);
  }
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC, kIidFirst, nullptr), E_POINTER);
  EXPECT_EQ(g_alive, 1) << "only the local object lives";
  CoUninitialize();
}

TEST_F(ComRuntime, OneIdentityAndOneCountAcrossInterfaces) {
  CoInitialize(nullptr);
  IFirst* first = nullptr;
  ASSERT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC, kIidFirst, reinterpret_cast<void**>(&first)), S_OK);
  ISecond* second = nullptr;
  ASSERT_EQ(first->QueryInterface(kIidSecond, reinterpret_cast<void**>(&second)), S_OK);
  EXPECT_EQ(second->Second(), 2);

  IUnknown* fromFirst = nullptr;
  IUnknown* fromSecond = nullptr;
  first->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromFirst));
  second->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromSecond));
  EXPECT_EQ(fromFirst, fromSecond);

  void* missing = reinterpret_cast<void*>(1);
  EXPECT_EQ(second->QueryInterface(kIidMissing, &missing), E_NOINTERFACE);
  EXPECT_EQ(missing, nullptr);

  EXPECT_EQ(fromSecond->Release(), 3u);
  EXPECT_EQ(fromFirst->Release(), 2u);
  EXPECT_EQ(first->Release(), 1u);
  EXPECT_EQ(g_alive, 1);
  EXPECT_EQ(second->Release(), 0u);
  EXPECT_EQ(g_alive, 0) << "deleted at zero, through whichever interface";
  CoUninitialize();
}

TEST(ClassTable, AnOverridePutsBackWhatWasThere) {
  CoInitialize(nullptr);
  void* p = nullptr;
  {
    com::ScopedClassOverride outer(kClass, MakeBoth);
    {
      com::ScopedClassOverride inner(kClass, [](REFIID, void**) { return E_ACCESSDENIED; });
      EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC, kIidFirst, &p), E_ACCESSDENIED);
    }
    ASSERT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC, kIidFirst, &p), S_OK);
    static_cast<IFirst*>(p)->Release();
  }
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC, kIidFirst, &p), REGDB_E_CLASSNOTREG);
  CoUninitialize();
}

}  // namespace
