// Status-line formatting: the Windows meanings of the conversions, and the cut.
#include <gtest/gtest.h>

#include <string>

#include "engine/status_text.h"

namespace {

std::wstring Format(const wchar_t* format, ...)
{
    wchar_t text[StatusTextSize];
    va_list arguments;
    va_start(arguments, format);
    FormatStatusText(text, StatusTextSize, format, arguments);
    va_end(arguments);
    return text;
}

TEST(StatusText, WideNarrowAndIntegerArguments)
{
    EXPECT_EQ(Format(L"Querying %S:%d...", "127.0.0.1", 27910), L"Querying 127.0.0.1:27910...");
    EXPECT_EQ(Format(L"Found %d player%s on '%s'", -1, L"s", L"Alpha"), L"Found -1 players on 'Alpha'");
    EXPECT_EQ(Format(L"%s. %d of %d servers responded.", L"Completed", 3, 4),
              L"Completed. 3 of 4 servers responded.");
}

TEST(StatusText, LongTextIsCutAndTerminated)
{
    std::wstring exact(StatusTextSize - 1, L'a');
    EXPECT_EQ(Format(L"%s", exact.c_str()), exact);

    std::wstring longer(5000, L'b');
    std::wstring shown = Format(L"x%s", longer.c_str());
    EXPECT_EQ(shown.size(), size_t(StatusTextSize - 1));
    EXPECT_EQ(shown, L"x" + std::wstring(StatusTextSize - 2, L'b'));
}

TEST(StatusText, SmallBufferKeepsItsBounds)
{
    wchar_t text[8];
    for (wchar_t& character : text)
        character = L'#';
    FormatText(text, 5, L"%s%d", L"abc", 1234);
    EXPECT_STREQ(text, L"abc1");
    EXPECT_EQ(text[5], L'#');
}

}  // namespace
