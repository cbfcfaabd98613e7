// The version resource of torvo.jem and torvo-rules.exe as Windows shows it
// in a file's Properties, read with the version API from the built files,
// and the module's whole resource inventory: the version resource is the
// only resource beside the host's ones.
#include "tests/support/torvo_test.h"

#include "resource_ids.h"
#include "version.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

std::string BesideTests(const char* fileName) {
    const std::string module = ModulePath();
    return module.substr(0, module.find_last_of('\\') + 1) + fileName;
}

std::vector<uint8_t> VersionBlock(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<uint8_t> block(size);
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, block.data())) block.clear();
    return block;
}

std::wstring StringValue(std::vector<uint8_t>& block, const wchar_t* language, const wchar_t* key) {
    const std::wstring query = std::wstring(L"\\StringFileInfo\\") + language + L"\\" + key;
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) ||
        !value) {
        return L"<missing>";
    }
    std::wstring text(value, length);
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::wstring Widened(const char* ascii) { return std::wstring(ascii, ascii + strlen(ascii)); }

bool HasCyrillic(const std::wstring& text) {
    for (wchar_t c : text) {
        if (c >= 0x0400 && c <= 0x04FF) return true;
    }
    return false;
}

bool IsAscii(const std::wstring& text) {
    for (wchar_t c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

struct VersionedFile {
    const char* fileName;
    DWORD fileType;
};

class VersionResource : public ::testing::TestWithParam<VersionedFile> {};

TEST_P(VersionResource, CarriesTheReleaseVersionInEnglishAndRussian) {
    const VersionedFile& file = GetParam();
    std::vector<uint8_t> block = VersionBlock(BesideTests(file.fileName));
    ASSERT_FALSE(block.empty()) << file.fileName << " has no version resource";

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof *fixed);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD versionHigh = MAKELONG(TORVO_VERSION_MINOR, TORVO_VERSION_MAJOR);
    EXPECT_EQ(fixed->dwFileVersionMS, versionHigh);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, versionHigh);
    EXPECT_EQ(fixed->dwFileType, file.fileType);
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);  // no debug or pre-release mark

    // The Properties page picks its language from this list.
    WORD* translations = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translations), &length));
    const std::vector<WORD> listed(translations, translations + length / sizeof(WORD));
    EXPECT_EQ(listed, (std::vector<WORD>{0x0409, 1200, 0x0419, 1200}));

    const std::wstring version = Widened(TORVO_VERSION_TEXT);
    for (const wchar_t* language : {L"040904B0", L"041904B0"}) {
        SCOPED_TRACE(testing::Message() << file.fileName << " " << std::string(language, language + 8));
        EXPECT_EQ(StringValue(block, language, L"FileVersion"), version);
        EXPECT_EQ(StringValue(block, language, L"ProductVersion"), version);
        EXPECT_EQ(StringValue(block, language, L"ProductName"), L"Torvo");
        EXPECT_EQ(StringValue(block, language, L"OriginalFilename"), Widened(file.fileName));
    }
    const std::wstring english = StringValue(block, L"040904B0", L"FileDescription");
    const std::wstring russian = StringValue(block, L"041904B0", L"FileDescription");
    EXPECT_TRUE(IsAscii(english) && english.size() > 10) << "English description";
    EXPECT_TRUE(HasCyrillic(russian)) << "Russian description";
}

INSTANTIATE_TEST_SUITE_P(BuiltFiles, VersionResource,
                         ::testing::Values(VersionedFile{"torvo.jem", VFT_DLL},
                                           VersionedFile{"torvo-rules.exe", VFT_APP}));

using ResourceKey = std::tuple<std::string, std::string, WORD>;  // type, name, language

std::string ResourceName(LPSTR name) {
    if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<uintptr_t>(name));
    return name;
}

BOOL CALLBACK AddLanguage(HMODULE, LPCSTR type, LPCSTR name, WORD language, LONG_PTR found) {
    reinterpret_cast<std::set<ResourceKey>*>(found)->emplace(
        ResourceName(const_cast<LPSTR>(type)), ResourceName(const_cast<LPSTR>(name)), language);
    return TRUE;
}

BOOL CALLBACK AddNames(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR found) {
    return EnumResourceLanguagesA(module, type, name, AddLanguage, found);
}

BOOL CALLBACK AddTypes(HMODULE module, LPSTR type, LONG_PTR found) {
    return EnumResourceNamesA(module, type, AddNames, found);
}

TEST(ModuleResourceInventory, TheVersionIsTheOnlyResourceBesideTheHostsOnes) {
    ScratchFolder folder;
    LoadedModule module = LoadModule();
    ASSERT_NE(module.handle, nullptr);
    std::set<ResourceKey> found;
    EnumResourceTypesA(module.handle, AddTypes, reinterpret_cast<LONG_PTR>(&found));

    const WORD russian = MAKELANGID(LANG_RUSSIAN, SUBLANG_NEUTRAL);
    const WORD neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
    auto key = [](LPSTR type, int id, WORD language) {
        return ResourceKey(ResourceName(type), "#" + std::to_string(id), language);
    };
    std::set<ResourceKey> expected = {
        // String table blocks of 16 strings: ids 1 to 15, and 992 to 1007.
        key(RT_STRING, IDS_NAME / 16 + 1, russian),
        key(RT_STRING, IDS_ENTRY_SETUP / 16 + 1, russian),
        key(RT_GROUP_ICON, IDI_MODULE, neutral),
        key(RT_GROUP_ICON, IDI_EDITOR, neutral),
        key(RT_DIALOG, IDD_EDITOR, neutral),
        key(RT_VERSION, 1, neutral),
    };
    // The icon images themselves: one per group, numbered by the compiler.
    int icons = 0;
    for (auto it = found.begin(); it != found.end();) {
        if (std::get<0>(*it) == ResourceName(RT_ICON)) {
            EXPECT_EQ(std::get<2>(*it), neutral);
            ++icons;
            it = found.erase(it);
        } else {
            ++it;
        }
    }
    EXPECT_EQ(icons, 2);
    EXPECT_EQ(found, expected);

    // The host's string 2 and the Properties page show the same version.
    wchar_t* text = nullptr;
    const int length = LoadStringW(module.handle, IDS_VERSION, reinterpret_cast<LPWSTR>(&text), 0);
    EXPECT_EQ(std::wstring(text, length > 0 ? length : 0), Widened(TORVO_VERSION_TEXT));
    UnloadModule(module);
}

}  // namespace
