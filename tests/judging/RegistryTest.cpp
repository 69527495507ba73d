// The file-backed registry store.
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "tests/core/FileTestSupport.h"

namespace velkor::platform {
namespace {

namespace fs = std::filesystem;
using velkor::testing::TempFolder;

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* v = std::getenv("XDG_CONFIG_HOME");
    saved_ = v ? std::optional<std::string>(v) : std::nullopt;
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  }
  void TearDown() override {
    if (saved_)
      ::setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
    else
      ::unsetenv("XDG_CONFIG_HOME");
  }

  TempFolder home;

 private:
  std::optional<std::string> saved_;
};

TEST_F(RegistryTest, KeysAndValuesAreFoundIgnoringCaseAndOutliveTheObject) {
  {
    Registry reg;
    EXPECT_FALSE(reg.KeyExists("SOFTWARE\\Velkor"));
    EXPECT_FALSE(reg.OpenKey("SOFTWARE\\Velkor", false));
    EXPECT_FALSE(reg.KeyExists("SOFTWARE"));
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Velkor", true));
    reg.WriteString("Signature", "Velkor 1");
    reg.WriteInteger("Count", 4000000000u);
    reg.CloseKey();
  }
  EXPECT_TRUE(fs::is_regular_file(home / "config/velkor-registry/HKEY_CURRENT_USER/SOFTWARE/Velkor/Signature"));

  Registry reg;
  EXPECT_TRUE(reg.KeyExists("software\\VELKOR"));
  EXPECT_TRUE(reg.KeyExists("\\Software\\Velkor\\"));
  ASSERT_TRUE(reg.OpenKey("Software\\velkor", true));
  EXPECT_TRUE(reg.ValueExists("SIGNATURE"));
  EXPECT_EQ(reg.ReadString("signature"), "Velkor 1");
  EXPECT_EQ(reg.ReadInteger("count"), 4000000000u);
  // Writing through another spelling replaces the same value.
  reg.WriteString("SIGNATURE", "Velkor 2");
  EXPECT_EQ(reg.ReadString("Signature"), "Velkor 2");
  EXPECT_FALSE(fs::exists(home / "config/velkor-registry/HKEY_CURRENT_USER/Software"));

  EXPECT_TRUE(reg.DeleteValue("Signature"));
  EXPECT_FALSE(reg.ValueExists("Signature"));
  EXPECT_FALSE(reg.DeleteValue("Signature"));

  // The machine hive is a tree of its own.
  Registry machine(RegistryHive::LocalMachine);
  EXPECT_FALSE(machine.KeyExists("SOFTWARE\\Velkor"));
}

TEST_F(RegistryTest, MisuseRaises) {
  Registry reg;
  EXPECT_THROW(reg.ValueExists("Signature"), ERegistryError);  // no key open
  EXPECT_THROW(reg.OpenKey("SOFTWARE\\..\\..", true), ERegistryError);
  EXPECT_THROW(reg.OpenKey("a/b", true), ERegistryError);
  ASSERT_TRUE(reg.OpenKey("Key", true));
  EXPECT_THROW(reg.WriteString("..", "x"), ERegistryError);
  EXPECT_THROW(reg.WriteString("", "x"), ERegistryError);

  // Missing values: a string reads empty, an integer raises; and the types
  // do not mix.
  EXPECT_EQ(reg.ReadString("Missing"), "");
  EXPECT_THROW(reg.ReadInteger("Missing"), ERegistryError);
  reg.WriteString("Text", "12");
  reg.WriteInteger("Number", 12);
  EXPECT_THROW(reg.ReadInteger("Text"), ERegistryError);
  EXPECT_THROW(reg.ReadString("Number"), ERegistryError);
  // The jury may read these inside other messages: Vietnamese first.
  try {
    reg.ReadString("Number");
  } catch (const ERegistryError& e) {
    EXPECT_EQ(std::string(e.what()), "Giá trị registry \"Key\\Number\" bị hỏng: không phải kiểu sz");
  }
  reg.CloseKey();
  EXPECT_THROW(reg.WriteString("Text", "x"), ERegistryError);
}

}  // namespace
}  // namespace velkor::platform
