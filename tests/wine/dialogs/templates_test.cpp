// The dialog templates as ZUKcntrl.dll carries them: Japanese resource language, popup with
// caption and modal frame and no system menu, the 9-point Japanese face, and each control's id,
// kind, style, position and tab order.  The template and control ids are written out here on
// purpose, not taken from resources/dialog_ids.h: this test is what holds those names to the
// numbers the dialogs must carry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/support/wine_support.h"

namespace {

enum Kind { CentredText, LeftText, Button, DefaultButton, Edit, MaskedEdit, Icon };

struct Item {
    int id;
    Kind kind;
    short x, y, cx, cy;
    const char *text;
};

struct Template {
    int id;
    short cx, cy;
    const char *caption;
    std::vector<Item> items;  // in tab order
};

const std::vector<Item> CredentialsItems(bool maskedId) {
    return {{1021, CentredText, 10, 12, 187, 8, "Please Set IC Card on RW or"},
            {1022, CentredText, 10, 22, 187, 8, "Input ID and password."},
            {1023, LeftText, 19, 45, 66, 8, "ID"},
            {1025, maskedId ? MaskedEdit : Edit, 89, 42, 100, 15, ""},
            {1024, LeftText, 19, 65, 66, 8, "PASSWD"},
            {1026, MaskedEdit, 89, 62, 100, 14, ""},
            {1027, DefaultButton, 49, 88, 50, 14, "OK"},
            {1028, Button, 107, 88, 50, 14, "CANCEL"}};
}

const std::vector<Template> &Templates() {
    static const std::vector<Template> templates = {
        {101,
         183,
         57,
         "Set IC Card",
         {{1011, CentredText, 13, 13, 157, 12, "Please Set IC Card on RW"},
          {1012, Button, 66, 33, 50, 14, "CANCEL"}}},
        {102,
         158,
         77,
         "PIN",
         {{1041, CentredText, 5, 9, 146, 17, "Please input IC card password."},
          {1042, MaskedEdit, 17, 29, 122, 14, ""},
          {1043, DefaultButton, 24, 51, 50, 14, "OK"},
          {1044, Button, 82, 51, 50, 14, "CANCEL"}}},
        {103, 207, 110, "Set IC card or input", CredentialsItems(false)},
        {115, 207, 110, "Set IC card or input", CredentialsItems(true)},
        {104,
         171,
         67,
         "No card",
         {{1033, DefaultButton, 59, 44, 50, 14, "OK"},
          {1031, CentredText, 32, 13, 122, 8, "Please Set IC Card on RW "},
          {1032, CentredText, 32, 22, 122, 8, "and retry it."},
          {1010, Icon, 7, 10, 20, 20, ""}}},
        {105,
         158,
         58,
         "Error verify",
         {{1052, DefaultButton, 50, 37, 50, 14, "OK"},
          {1051, CentredText, 33, 13, 116, 8, "Failed to verify the authentication PIN."},
          {1011, Icon, 7, 7, 20, 21, ""}}},
        {106, 119, 41, "Card access", {{1009, CentredText, 7, 16, 105, 14, "Accessing"}}},
    };
    return templates;
}

// A reader of a DLGTEMPLATEEX.
struct Reader {
    const unsigned char *at;
    WORD Word() {
        WORD w;
        std::memcpy(&w, at, 2);
        at += 2;
        return w;
    }
    DWORD Dword() {
        DWORD d;
        std::memcpy(&d, at, 4);
        at += 4;
        return d;
    }
    short Short() { return static_cast<short>(Word()); }
    // A string or an ordinal (returned as "#n"); UTF-16 as is.
    std::wstring SzOrOrd() {
        WORD first = Word();
        if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
        std::wstring s;
        for (WORD c = first; c != 0; c = Word()) s += static_cast<wchar_t>(c);
        return s;
    }
    void AlignDword(const unsigned char *base) {
        while ((at - base) % 4 != 0) ++at;
    }
};

std::wstring Wide(const char *ascii) { return std::wstring(ascii, ascii + std::strlen(ascii)); }

void CheckKind(Kind kind, const std::wstring &cls, DWORD style) {
    const DWORD base = WS_CHILD | WS_VISIBLE;
    EXPECT_EQ(style & base, base);
    switch (kind) {
    case CentredText:
    case LeftText:
    case Icon: {
        EXPECT_EQ(cls, L"#130");  // Static
        const DWORD type = kind == CentredText ? SS_CENTER : kind == LeftText ? SS_LEFT : SS_ICON;
        EXPECT_EQ(style & SS_TYPEMASK, type);
        break;
    }
    case Button:
    case DefaultButton:
        EXPECT_EQ(cls, L"#128");  // Button
        EXPECT_EQ(style & BS_TYPEMASK,
                  static_cast<DWORD>(kind == Button ? BS_PUSHBUTTON : BS_DEFPUSHBUTTON));
        EXPECT_TRUE(style & WS_TABSTOP);
        break;
    case Edit:
    case MaskedEdit:
        EXPECT_EQ(cls, L"#129");  // Edit
        EXPECT_TRUE(style & WS_BORDER);
        EXPECT_TRUE(style & ES_AUTOHSCROLL);
        EXPECT_TRUE(style & WS_TABSTOP);
        EXPECT_EQ((style & ES_PASSWORD) != 0, kind == MaskedEdit);
        break;
    }
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD> *>(param)->push_back(language);
    return TRUE;
}

TEST(DialogTemplates, MatchTheTable) {
    HMODULE dll =
        LoadLibraryExA((ProgramDir() + "ZUKcntrl.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(dll, nullptr);
    for (const Template &t : Templates()) {
        SCOPED_TRACE("template " + std::to_string(t.id));
        std::vector<WORD> languages;
        EnumResourceLanguagesA(dll, reinterpret_cast<LPCSTR>(RT_DIALOG), MAKEINTRESOURCEA(t.id),
                               CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(languages, std::vector<WORD>{0x0411});
        HRSRC found = FindResourceExA(dll, reinterpret_cast<LPCSTR>(RT_DIALOG),
                                      MAKEINTRESOURCEA(t.id), 0x0411);
        ASSERT_NE(found, nullptr);
        const unsigned char *base =
            static_cast<const unsigned char *>(LockResource(LoadResource(dll, found)));
        ASSERT_NE(base, nullptr);
        Reader r{base};
        ASSERT_EQ(r.Word(), 1);  // DLGTEMPLATEEX
        ASSERT_EQ(r.Word(), 0xFFFF);
        r.Dword();  // help id
        r.Dword();  // extended style
        const DWORD style = r.Dword();
        EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT),
                  static_cast<DWORD>(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT));
        EXPECT_EQ(style & (WS_SYSMENU | WS_VISIBLE | WS_CHILD), 0u);
        const WORD count = r.Word();
        EXPECT_EQ(count, t.items.size());
        r.Short();
        r.Short();
        EXPECT_EQ(r.Short(), t.cx);
        EXPECT_EQ(r.Short(), t.cy);
        EXPECT_EQ(r.SzOrOrd(), L"");  // no menu
        EXPECT_EQ(r.SzOrOrd(), L"");  // the standard dialog class
        EXPECT_EQ(r.SzOrOrd(), Wide(t.caption));
        EXPECT_EQ(r.Word(), 9);  // points
        r.Word();                // weight
        r.Word();                // italic, charset
        EXPECT_EQ(r.SzOrOrd(), std::wstring(L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF"));
        for (size_t i = 0; i < count && i < t.items.size(); ++i) {
            const Item &item = t.items[i];
            SCOPED_TRACE("control " + std::to_string(item.id));
            r.AlignDword(base);
            r.Dword();
            r.Dword();
            const DWORD itemStyle = r.Dword();
            EXPECT_EQ(r.Short(), item.x);
            EXPECT_EQ(r.Short(), item.y);
            EXPECT_EQ(r.Short(), item.cx);
            EXPECT_EQ(r.Short(), item.cy);
            EXPECT_EQ(r.Dword(), static_cast<DWORD>(item.id));
            const std::wstring cls = r.SzOrOrd();
            const std::wstring text = r.SzOrOrd();
            EXPECT_EQ(text, Wide(item.text));
            r.at += r.Word();  // creation data
            CheckKind(item.kind, cls, itemStyle);
        }
    }
    FreeLibrary(dll);
}

}  // namespace
