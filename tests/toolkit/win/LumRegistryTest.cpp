// The registry class, on a key of its own under HKEY_CURRENT_USER that every test removes.
#include "toolkit/win/LumRegistry.h"

#include "toolkit/base/LumExceptions.h"

#include <gtest/gtest.h>

namespace {

constexpr char16_t kTestKey[] = u"Software\\LumTests\\Registry";

class Registry : public ::testing::Test {
  protected:
    void SetUp() override {
        TLumRegistry cleaner;
        cleaner.DeleteKey(kTestKey);
        ASSERT_TRUE(registry.OpenKey(kTestKey, true));
    }
    void TearDown() override {
        registry.CloseKey();
        TLumRegistry cleaner;
        EXPECT_TRUE(cleaner.DeleteKey(kTestKey));
    }

    // Writes raw data, for values the class itself would not write.
    void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(RegSetValueExW(registry.CurrentKey(), name, 0, type,
                                 static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }

    template <class Call> std::u16string RegistryError(Call call) {
        try {
            call();
        } catch (const ERegistryException& error) {
            EXPECT_STREQ(error.ClassName(), "ERegistryException");
            return error.Message();
        }
        ADD_FAILURE() << "no ERegistryException";
        return {};
    }

    TLumRegistry registry;
};

} // namespace

TEST_F(Registry, ReadStringOfStrings) {
    registry.WriteString(u"Plain", u"C:\\Program Files\\Lum\\lum.dll");
    registry.WriteString(u"", u"the default value");
    registry.WriteString(u"Empty", u"");
    registry.WriteExpandString(u"Expand", u"%SystemRoot%\\system32\\capicom.dll");
    const wchar_t withNul[] = L"before\0after";
    SetRaw(L"WithNul", REG_SZ, withNul, sizeof(withNul));
    // Stored without a terminating NUL, and with an odd byte count.
    const wchar_t unterminated[] = {L'a', L'b', L'c'};
    SetRaw(L"Unterminated", REG_SZ, unterminated, sizeof(unterminated));
    SetRaw(L"OddSize", REG_SZ, L"xyz", 5);
    SetRaw(L"OneByte", REG_SZ, "x", 1);

    struct Case {
        const char16_t* Name;
        const char16_t* Expected;
    };
    const Case cases[] = {
        {u"Plain", u"C:\\Program Files\\Lum\\lum.dll"},
        {u"", u"the default value"},
        {u"Empty", u""},
        {u"Expand", u"%SystemRoot%\\system32\\capicom.dll"},
        {u"WithNul", u"before"},
        {u"Unterminated", u"abc"},
        {u"OddSize", u"xy"},
        {u"OneByte", u""},
        {u"Missing", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "value " << static_cast<int>(c.Name[0]));
        EXPECT_EQ(registry.ReadString(c.Name), c.Expected);
    }
}

TEST_F(Registry, ReadStringOfOtherTypesRaises) {
    registry.WriteInteger(u"Count", 7);
    const BYTE bytes[] = {1, 2, 3, 4};
    SetRaw(L"Blob", REG_BINARY, bytes, sizeof(bytes));
    SetRaw(L"List", REG_MULTI_SZ, L"a\0b\0", 10);
    EXPECT_EQ(RegistryError([&] { registry.ReadString(u"Count"); }),
              u"Invalid data type for 'Count'");
    EXPECT_EQ(RegistryError([&] { registry.ReadString(u"Blob"); }),
              u"Invalid data type for 'Blob'");
    EXPECT_EQ(RegistryError([&] { registry.ReadString(u"List"); }),
              u"Invalid data type for 'List'");
}

TEST_F(Registry, ReadStringWithoutOpenKeyIsEmpty) {
    registry.WriteString(u"Plain", u"text");
    registry.CloseKey();
    EXPECT_EQ(registry.CurrentKey(), nullptr);
    EXPECT_EQ(registry.ReadString(u"Plain"), u"");
}

TEST_F(Registry, ReadInteger) {
    registry.WriteInteger(u"Positive", 1998);
    registry.WriteInteger(u"Negative", -5);
    registry.WriteString(u"Text", u"12");
    EXPECT_EQ(registry.ReadInteger(u"Positive"), 1998);
    EXPECT_EQ(registry.ReadInteger(u"Negative"), -5);
    EXPECT_EQ(RegistryError([&] { registry.ReadInteger(u"Missing"); }),
              u"Failed to get data for 'Missing'");
    EXPECT_EQ(RegistryError([&] { registry.ReadInteger(u"Text"); }),
              u"Invalid data type for 'Text'");
}

TEST_F(Registry, ValuesExistAndHaveTypes) {
    registry.WriteString(u"S", u"x");
    registry.WriteExpandString(u"E", u"%x%");
    registry.WriteInteger(u"I", 1);
    const BYTE bytes[] = {1};
    SetRaw(L"B", REG_BINARY, bytes, 1);
    SetRaw(L"M", REG_MULTI_SZ, L"a\0", 6);
    struct Case {
        const char16_t* Name;
        bool Exists;
        TRegDataType Type;
    };
    const Case cases[] = {
        {u"S", true, rdString},  {u"E", true, rdExpandString}, {u"I", true, rdInteger},
        {u"B", true, rdBinary},  {u"M", true, rdUnknown},      {u"Missing", false, rdUnknown},
        {u"", false, rdUnknown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "value " << static_cast<int>(c.Name[0]));
        EXPECT_EQ(registry.ValueExists(c.Name), c.Exists);
        EXPECT_EQ(registry.GetDataType(c.Name), c.Type);
    }
    EXPECT_TRUE(registry.DeleteValue(u"S"));
    EXPECT_FALSE(registry.ValueExists(u"S"));
    EXPECT_FALSE(registry.DeleteValue(u"S"));
}

TEST_F(Registry, KeysAreRelativeToTheOpenKeyUnlessTheyStartWithABackslash) {
    ASSERT_TRUE(registry.OpenKey(u"Child", true));
    EXPECT_EQ(registry.CurrentPath(), u"Software\\LumTests\\Registry\\Child");
    registry.WriteString(u"Where", u"child");

    ASSERT_TRUE(registry.OpenKey(u"\\Software\\LumTests\\Registry\\", false));
    EXPECT_EQ(registry.CurrentPath(), u"Software\\LumTests\\Registry");
    EXPECT_TRUE(registry.KeyExists(u"Child"));
    EXPECT_FALSE(registry.KeyExists(u"Other"));
    EXPECT_TRUE(registry.KeyExists(u"\\Software\\LumTests\\Registry\\Child"));
    // KeyExists leaves the open key as it was.
    EXPECT_EQ(registry.CurrentPath(), u"Software\\LumTests\\Registry");

    // A key that cannot be opened keeps the open key.
    EXPECT_FALSE(registry.OpenKey(u"Other", false));
    EXPECT_EQ(registry.CurrentPath(), u"Software\\LumTests\\Registry");
    EXPECT_FALSE(registry.KeyExists(u"Other"));

    registry.CloseKey();
    EXPECT_EQ(registry.CurrentPath(), u"");
    ASSERT_TRUE(registry.OpenKeyReadOnly(u"Software\\LumTests\\Registry\\Child"));
    EXPECT_EQ(registry.ReadString(u"Where"), u"child");
}

TEST_F(Registry, OpenKeyReadOnlyCannotWrite) {
    TLumRegistry reader;
    ASSERT_TRUE(reader.OpenKeyReadOnly(kTestKey));
    EXPECT_EQ(RegistryError([&] { reader.WriteString(u"Name", u"x"); }),
              u"Failed to set data for 'Name'");
    EXPECT_FALSE(reader.OpenKeyReadOnly(u"\\Software\\LumTests\\Registry\\Missing"));
    EXPECT_FALSE(reader.KeyExists(u"\\Software\\LumTests\\Registry\\Missing"));
}

TEST_F(Registry, RootKeyChoosesTheHive) {
    TLumRegistry reader(KEY_READ);
    EXPECT_EQ(reader.RootKey(), HKEY_CURRENT_USER);
    ASSERT_TRUE(reader.OpenKey(kTestKey, false));
    reader.SetRootKey(HKEY_LOCAL_MACHINE);
    // Changing the root closes the open key.
    EXPECT_EQ(reader.CurrentKey(), nullptr);
    EXPECT_FALSE(reader.KeyExists(kTestKey));
    EXPECT_TRUE(reader.OpenKey(u"Software\\Microsoft", false));
}

TEST_F(Registry, DeleteKeyRemovesTheWholeTree) {
    ASSERT_TRUE(registry.OpenKey(u"A\\B\\C", true));
    registry.WriteString(u"Leaf", u"x");
    ASSERT_TRUE(registry.OpenKey(u"\\Software\\LumTests\\Registry\\A\\D", true));
    registry.CloseKey();
    EXPECT_TRUE(registry.DeleteKey(u"Software\\LumTests\\Registry\\A"));
    EXPECT_FALSE(registry.KeyExists(u"Software\\LumTests\\Registry\\A"));
    EXPECT_TRUE(registry.KeyExists(kTestKey));
    EXPECT_FALSE(registry.DeleteKey(u"Software\\LumTests\\Registry\\A"));
    // An empty path would be the root itself: refused.
    EXPECT_FALSE(registry.DeleteKey(u""));
    EXPECT_FALSE(registry.DeleteKey(u"\\"));
}
