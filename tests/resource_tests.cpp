// The program's resources: icons at their sizes and depths, the manifest and
// the version information.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width;
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
struct IconGroupHeader {
    WORD reserved;
    WORD type;
    WORD count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

struct IconImage {
    int width;
    int height;
    int bits;
};

std::vector<IconImage> IconImages(int groupId)
{
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(groupId), RT_GROUP_ICON);
    if (resource == nullptr)
        return {};
    const IconGroupHeader* group = static_cast<const IconGroupHeader*>(LockResource(LoadResource(nullptr, resource)));
    std::vector<IconImage> images;
    for (int index = 0; index < group->count; index++) {
        const IconGroupEntry& entry = group->entries[index];
        images.push_back({entry.width ? entry.width : 256, entry.height ? entry.height : 256, entry.bitCount});
    }
    return images;
}

std::string ResourceText(int id, LPCWSTR type)
{
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), type);
    if (resource == nullptr)
        return "";
    const char* data = static_cast<const char*>(LockResource(LoadResource(nullptr, resource)));
    return std::string(data, SizeofResource(nullptr, resource));
}

BOOL CALLBACK TakeFirstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR first)
{
    *reinterpret_cast<ULONG_PTR*>(first) = reinterpret_cast<ULONG_PTR>(name);
    return FALSE;
}

TEST(Resources, IconsHaveTheirSizesAndDepths)
{
    struct Case {
        int id;
        int width;
        int height;
        int bits;
    };
    const Case cases[] = {
        {IDI_PLAYER, 16, 14, 4},     {IDI_SERVER, 16, 14, 4},       {IDI_STATUS_MESSAGE, 14, 14, 8},
        {IDI_PING_GOOD, 16, 14, 4},  {IDI_PING_MEDIUM, 16, 14, 4},  {IDI_PING_BAD, 16, 14, 4},
        {IDI_LINUX, 16, 14, 24},     {IDI_WINDOWS, 16, 14, 24},     {IDI_FREEBSD, 13, 14, 24},
        {IDI_MAC, 16, 14, 24},       {IDI_PADLOCK, 16, 14, 4},
    };
    // Each picture also comes two and three times as large, for larger
    // display scales.
    for (const Case& test : cases) {
        std::vector<IconImage> images = IconImages(test.id);
        ASSERT_EQ(images.size(), 3u) << test.id;
        for (int scale = 1; scale <= 3; scale++) {
            EXPECT_EQ(images[scale - 1].width, test.width * scale) << test.id;
            EXPECT_EQ(images[scale - 1].height, test.height * scale) << test.id;
            EXPECT_EQ(images[scale - 1].bits, test.bits) << test.id;
        }
    }

    std::vector<IconImage> application = IconImages(IDI_APPLICATION_ICON);
    ASSERT_EQ(application.size(), 3u);
    for (int scale = 1; scale <= 3; scale++) {
        EXPECT_EQ(application[scale - 1].width, 16 * scale);
        EXPECT_EQ(application[scale - 1].height, 16 * scale);
        EXPECT_EQ(application[scale - 1].bits, 8);
    }

    ULONG_PTR first = 0;
    EnumResourceNamesW(nullptr, RT_GROUP_ICON, TakeFirstName, reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(first, ULONG_PTR(IDI_APPLICATION_ICON));
}

TEST(Resources, ManifestAsksForCommonControlsSix)
{
    std::string manifest = ResourceText(1, MAKEINTRESOURCEW(24));
    EXPECT_NE(manifest.find("<description>Server browser for Quake II Quarrix</description>"), std::string::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
#ifdef _WIN64
    const char* architecture = "processorArchitecture=\"amd64\"";
#else
    const char* architecture = "processorArchitecture=\"X86\"";
#endif
    // Both the program's own identity and the common controls it asks for.
    size_t first = manifest.find(architecture);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(manifest.find(architecture, first + 1), std::string::npos);
    EXPECT_NE(manifest.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
    // Scaled by the monitor it is on, not stretched by Windows.
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
}

TEST(Resources, VersionIsOneZeroZeroEleven)
{
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    ASSERT_NE(resource, nullptr);
    std::vector<BYTE> copy(SizeofResource(nullptr, resource));
    memcpy(copy.data(), LockResource(LoadResource(nullptr, resource)), copy.size());

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x0000000Bu);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x0000000Bu);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &size));
    EXPECT_EQ(translation[0], 0x0809);
    EXPECT_EQ(translation[1], 1200);
    wchar_t* product = nullptr;
    ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\StringFileInfo\\080904b0\\ProductName", reinterpret_cast<void**>(&product), &size));
    EXPECT_STREQ(product, L"Quarrix Server Browser");
}

}  // namespace
