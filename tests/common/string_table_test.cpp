// The tray program's string table in its eleven languages: every text there,
// the same placeholders and line breaks as the English one, English exact.
#include <gtest/gtest.h>

#include "common/resource_ids.h"
#include "ui/text.h"
#include "window_probe.h"

using probe::Narrow;

namespace {

constexpr LANGID kEnglish = 1033;
constexpr LANGID kLanguages[] = {1025, 1028, 1031, 1033, 1036, 1040, 1041, 1042, 2052, 2070, 3082};

std::wstring Text(UINT id, LANGID language)
{
    return LoadTextFrom(::GetModuleHandleW(nullptr), id, language);
}

size_t Count(const std::wstring& text, const std::wstring& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

}  // namespace

TEST(TrayStringTable, EveryLanguageHasEveryTextWithTheSamePlaceholdersAndLineBreaks)
{
    for (LANGID language : kLanguages) {
        for (UINT id : {static_cast<UINT>(IDS_APP_TITLE), static_cast<UINT>(IDS_APP_TITLE_FRAME)})
            EXPECT_EQ(Text(id, language), L"Tandrel") << language;
        for (UINT id = IDS_PRODUCT_NAME; id <= IDS_PARKED_LEFT_OVER; ++id) {
            const std::wstring english = Text(id, kEnglish);
            const std::wstring text = Text(id, language);
            ASSERT_FALSE(text.empty()) << "language " << language << " id " << id;
            EXPECT_EQ(Count(text, L"%s"), Count(english, L"%s")) << language << " " << id << " " << Narrow(text);
            EXPECT_EQ(Count(text, L"%"), Count(text, L"%s")) << language << " " << id;  // nothing printf would misread
            EXPECT_EQ(Count(text, L"\n"), Count(english, L"\n")) << language << " " << id << " " << Narrow(text);
        }
    }
}

TEST(TrayStringTable, EnglishTextsAreExactWithTheirQuotesSpacesAndBreaks)
{
    EXPECT_EQ(Text(IDS_FIRST_START_QUESTION, kEnglish),
              L"\x2018Tandrel\x2019 is activated, and registered to the Taskbar tray. \n\nIf you register "
              L"\x2018Tandrel\x2019 to start-up, \n\x2018Tandrel\x2019 will be active automatically when computers "
              L"started (recommended).\n\nWould you like to register \x2018Tandrel\x2019 to start-up?");
    EXPECT_EQ(Text(IDS_ADMIN_RIGHTS_QUESTION, kEnglish),
              L"Administrator rights are required to activate on start-up or to remove. \nContinue ? ");
    EXPECT_EQ(Text(IDS_REMOVE_FAILED, kEnglish),
              L"The drive failed to be removed. Other programs may be accessing to the drive.  \nIf you display "
              L"contents on the drive with Explorer or other applications, exit the application and retry.");
    EXPECT_EQ(Text(IDS_EXIT_REMOVED, kEnglish), L"Tandrel\x2019 has been removed from start-up, \n and exited successfully.");
    EXPECT_EQ(Text(IDS_ACTIVATE_QUESTION, kEnglish).substr(0, 28), L"If you register \x2018Tandrel\x201D to");
    EXPECT_EQ(Text(IDS_REPLACE_SINGLE, kEnglish), L"File '%s' already exists. Do you want to replace it?");
    EXPECT_EQ(Text(IDS_STARTUP_ACTIVATED, kEnglish), L"Activation on start-up has been finished successfully. ");
    EXPECT_EQ(Text(IDS_BUTTON_YES_TO_ALL, kEnglish), L"Yes to All");
    EXPECT_EQ(Text(IDS_NAME_TOO_LONG, kEnglish),
              L"The target file could not be compressed or decompressed, because the file name was too long.");
}

TEST(TrayStringTable, TranslationsAreTheirLanguagesNotCopies)
{
    // A text that every language words its own way.
    const std::wstring english = Text(IDS_DISK_FULL, kEnglish);
    for (LANGID language : kLanguages) {
        if (language != kEnglish) {
            EXPECT_NE(Text(IDS_DISK_FULL, language), english) << language;
        }
    }
    EXPECT_EQ(Text(IDS_BUTTON_NO, 1031), L"Nein");
    EXPECT_EQ(Text(IDS_BUTTON_NO, 1041), L"\x3044\x3044\x3048");
    EXPECT_EQ(Text(IDS_BUTTON_NO, 1025), L"\x0644\x0627");
}
