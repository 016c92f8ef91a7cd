// SPDX-License-Identifier: GPL-3.0-or-later
// Run-time binding of libusb-0.1: which library is loaded, what is required,
// what the call-throughs do when an entry point is missing.

#include "SimHelpers.h"
#include "adapter/Vni_if.h"
#include "transport/Libusbdyn.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <fstream>

namespace {

const std::vector<std::string> DefaultNames{"libusb-0.1.so.4", "libusb-0.1.so", "libusb.so"};

class Binding : public ::testing::Test {
protected:
  void SetUp() override {
    sim_reset();
    libusbdyn::ResetForTest(DefaultNames);
  }
  void TearDown() override { libusbdyn::ResetForTest(DefaultNames); }
};

TEST_F(Binding, CallThroughsBeforeBindingReturnFixedResultsWithoutCalling) {
  sim_call_log_clear();
  EXPECT_EQ(dyn_usb_close(nullptr), -2);
  EXPECT_EQ(dyn_usb_bulk_write(nullptr, 1, "x", 1, 10), -2);
  EXPECT_EQ(dyn_usb_bulk_read(nullptr, 0x82, nullptr, 0, 10), -2);
  EXPECT_EQ(dyn_usb_resetep(nullptr, 0x82), -2);
  EXPECT_EQ(dyn_usb_find_busses(), -2);
  EXPECT_EQ(dyn_usb_find_devices(), -2);
  EXPECT_EQ(dyn_usb_get_busses(), nullptr);
  EXPECT_EQ(dyn_usb_open(nullptr), nullptr);
  EXPECT_EQ(dyn_usb_get_string_simple(nullptr, 3, nullptr, 0), -2);
  EXPECT_EQ(dyn_usb_set_configuration(nullptr, 1), -2);
  EXPECT_EQ(dyn_usb_claim_interface(nullptr, 0), -2);
  EXPECT_EQ(dyn_usb_release_interface(nullptr, 0), -2);
  EXPECT_EQ(CallLog(), "");
}

TEST_F(Binding, MissingLibraryFindsNoAdapterAndTriesAgainEveryTime) {
  libusbdyn::ResetForTest({"libusb-not-installed-here.so.4"});
  sim_add_adapter("A1");
  TVNI vni;
  std::vector<std::string> list{"untouched"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(vni.ListSerialNumbers(&list), 0);
    EXPECT_EQ(list, std::vector<std::string>{"untouched"});
  }
  EXPECT_FALSE(vni.Open(""));
  EXPECT_FALSE(libusbdyn::Loaded());
  EXPECT_EQ(sim_call_count("usb_init"), 0);
}

TEST_F(Binding, LibraryLackingAClassicNameIsNotUsed) {
  void *lib = dlopen("libusbsim-incomplete.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto add = reinterpret_cast<void (*)(const char *)>(dlsym(lib, "sim_add_adapter"));
  auto count = reinterpret_cast<int (*)(const char *)>(dlsym(lib, "sim_call_count"));
  ASSERT_TRUE(add && count);
  add("A1");
  libusbdyn::ResetForTest({"libusbsim-incomplete.so"});
  TVNI vni;
  std::vector<std::string> list;
  EXPECT_EQ(vni.ListSerialNumbers(&list), 0);
  EXPECT_FALSE(vni.Open(""));
  EXPECT_FALSE(libusbdyn::Loaded());
  // What was found stays in the table; usb_init still ran.
  EXPECT_NE(libusbdyn::Entry(0), nullptr);  // usb_open
  EXPECT_EQ(libusbdyn::Entry(15), nullptr); // usb_resetep
  EXPECT_EQ(dyn_usb_resetep(nullptr, 0x82), -2);
  EXPECT_GE(count("usb_init"), 1);
}

TEST_F(Binding, ExtensionsAreLookedUpButNeverRequired) {
  int classic = 0;
  for (int i = 0; i < libusbdyn::EntryCount; ++i)
    classic += libusbdyn::EntryIsClassic(i);
  EXPECT_EQ(classic, libusbdyn::ClassicCount);
  EXPECT_STREQ(libusbdyn::EntryName(18), "usb_reset_ex");
  EXPECT_FALSE(libusbdyn::EntryIsClassic(18));
  EXPECT_TRUE(libusbdyn::Locate());
  EXPECT_TRUE(libusbdyn::Loaded());
  EXPECT_EQ(libusbdyn::Entry(18), nullptr);
  EXPECT_NE(libusbdyn::Entry(25), nullptr); // usb_get_busses
}

TEST_F(Binding, FirstListingInitialisesTwiceThenListsEachAdapter) {
  sim_add_adapter("A1");
  sim_call_log_clear();
  TVNI vni;
  std::vector<std::string> list;
  EXPECT_EQ(vni.ListSerialNumbers(&list), 1);
  EXPECT_EQ(CallLog(), "usb_init usb_init usb_find_busses usb_find_devices usb_get_busses "
                       "usb_open usb_get_string_simple usb_close");
  sim_call_log_clear();
  ASSERT_TRUE(vni.Open("A1"));
  // Opening neither binds again nor initialises.
  EXPECT_EQ(CallLog().rfind("usb_find_busses usb_find_devices usb_get_busses usb_open "
                            "usb_get_string_simple usb_set_configuration usb_claim_interface", 0),
            0u)
      << CallLog();
  sim_call_log_clear();
  vni.Close();
  EXPECT_EQ(CallLog(), "usb_bulk_write usb_release_interface usb_close");
}

TEST_F(Binding, LibraryNamesAreTriedInOrder) {
  EXPECT_EQ(libusbdyn::LibraryNames(), DefaultNames);
  libusbdyn::ResetForTest({"libusb-not-installed-here.so.4", "libusb-0.1.so.4"});
  EXPECT_TRUE(libusbdyn::Locate());
}

TEST_F(Binding, LibraryInstalledWhileRunningIsPickedUp) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("molvar-binding-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::path target = dir / "libusb-late.so.4";
  libusbdyn::ResetForTest({target.string()});
  TVNI vni;
  std::vector<std::string> list;
  EXPECT_EQ(vni.ListSerialNumbers(&list), 0);
  EXPECT_FALSE(libusbdyn::Loaded());
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void *>(&sim_reset), &info), 0);
  fs::copy_file(info.dli_fname, target);
  EXPECT_EQ(vni.ListSerialNumbers(&list), 0); // a fresh copy: no adapters in it
  EXPECT_TRUE(libusbdyn::Loaded());
  fs::remove_all(dir);
}

} // namespace
