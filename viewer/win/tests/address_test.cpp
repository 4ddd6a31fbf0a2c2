// How the Windows viewer reads the addresses its control reports, and the text conversions at the edge.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win_addresses.h"
#include "win_text.h"

namespace {

using viewer::Route;

TEST(WindowsAddresses, LocalPathOfEachFormTheControlReports) {
    const struct {
        const char* address;
        const char* path;
    } rows[] = {
        {"file:///Z:/cd/index.htm", "Z:\\cd\\index.htm"},
        {"Z:\\cd\\index.htm", "Z:\\cd\\index.htm"},
        {"FILE:///x:/a%20b/%C3%A9t%C3%A9.htm#part", "x:\\a b\\\xC3\xA9t\xC3\xA9.htm"},
        {"file:///X|/old.htm?q=1", "X:\\old.htm"},
        {"file://server/share/page.htm", "\\\\server\\share\\page.htm"},
        {"file:/C:/one.htm", "C:\\one.htm"},
        {"file:///X:/100%25.htm", "X:\\100%.htm"},
        {"file:///X:/bad%zz.htm", "X:\\bad%zz.htm"},
        {"\\\\server\\share\\x.htm", "\\\\server\\share\\x.htm"},
        {"http://example.com/a.htm", ""},
        {"about:blank", ""},
        {"index.htm", ""},
        {"file:relative.htm", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(viewer::LocalPathOfAddress(row.address), row.path) << row.address;
}

TEST(WindowsAddresses, OnlyTheDiscAndTheFirstPageFolderStayInTheWindow) {
    const std::vector<std::string> folders{"X:\\", "C:\\Tools\\Wizard\\"};
    const struct {
        const char* address;
        bool mainFrame;
        Route route;
    } rows[] = {
        {"X:\\index.htm", true, Route::kShowHere},
        {"file:///x:/Pages/Intro.HTM", true, Route::kShowHere},
        {"file:///X:/pics/frame.htm", false, Route::kShowHere},
        {"c:\\tools\\wizard\\kvdhelp.htm", true, Route::kShowHere},
        // Leaving the disc, by another drive, a dot part or a look-alike folder, is refused.
        {"file:///C:/windows/win.ini", true, Route::kRefuse},
        {"file:///X:/pages/../../secret.htm", true, Route::kRefuse},
        {"C:\\Tools\\Wizard2\\x.htm", true, Route::kRefuse},
        {"file:///X:/pages/.. /../secret.htm", true, Route::kRefuse}, // Windows trims ".. " to ".."
        {"X:\\. .\\x.htm", false, Route::kRefuse},
        {"file://server/share/x.htm", false, Route::kRefuse},
        // The reader's programs get the web and mail; frames keep web content as a browser does.
        {"http://example.com/", true, Route::kOpenElsewhere},
        {"HTTPS://example.com/", true, Route::kOpenElsewhere},
        {"mailto:someone@example.com", true, Route::kOpenElsewhere},
        {"http://example.com/ad.htm", false, Route::kShowHere},
        {"mailto:someone@example.com", false, Route::kRefuse},
        {"about:blank", true, Route::kShowHere},
        {"res://ieframe.dll/navcancl.htm", true, Route::kShowHere},
        // No other scheme reaches the reader's programs, from the page or from a frame.
        {"res://X:\\evil.dll/x.htm", true, Route::kRefuse},
        {"shell:startup", true, Route::kRefuse},
        {" ms-settings:display", true, Route::kRefuse},
        {"\tSEARCH-MS:query=x", true, Route::kRefuse},
        {"ftp://example.com/", true, Route::kRefuse},
        {"ms-its:\\\\server\\share\\x.chm::/a.htm", false, Route::kRefuse},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(viewer::RouteWindowsNavigation(row.address, folders, row.mainFrame), row.route)
            << row.address << (row.mainFrame ? " (page)" : " (frame)");
    }
}

TEST(WindowsAddresses, FirstPageWebLinkAndFolderForms) {
    EXPECT_EQ(viewer::FirstPagePath("index.htm", "X:\\"), "X:\\index.htm");
    EXPECT_EQ(viewer::FirstPagePath("pages/intro.htm", "D:\\disc"), "D:\\disc\\pages\\intro.htm");
    EXPECT_EQ(viewer::FirstPagePath("C:/Tools/kvdhelp.htm", "X:\\"), "C:\\Tools\\kvdhelp.htm");
    // A page of the disc stays on it however it is spelt.
    EXPECT_EQ(viewer::FirstPagePath("sub\\..\\index.htm", "X:\\"), "X:\\index.htm");
    EXPECT_EQ(viewer::FirstPagePath("..\\index.htm", "D:\\disc\\"), "");
    EXPECT_EQ(viewer::FirstPagePath("sub/.. /../index.htm", "D:\\disc\\"), "");
    EXPECT_EQ(viewer::FolderOfPath("X:\\index.htm"), "X:\\");
    EXPECT_EQ(viewer::FolderOfPath("index.htm"), "");
    EXPECT_EQ(viewer::WebLinkTarget("www.example.com"), "http://www.example.com");
    EXPECT_EQ(viewer::WebLinkTarget("mailto:a@example.com"), "mailto:a@example.com");
    EXPECT_EQ(viewer::WebLinkTarget("https://example.com/"), "https://example.com/");
}

TEST(WindowsText, Utf8AndUtf16RoundTripOutsideTheBasicPlane) {
    const std::string utf8 = "K\xC3\xB6ln \xE2\x82\xAC \xF0\x9F\x93\x80.htm";
    const std::wstring wide = viewer::Widen(utf8);
    EXPECT_EQ(wide, std::wstring(L"K\u00F6ln \u20AC \U0001F4C0.htm"));
    EXPECT_EQ(wide.size(), 13u); // the disc sign is a surrogate pair
    EXPECT_EQ(viewer::Narrow(wide), utf8);
    EXPECT_EQ(viewer::Widen(""), L"");
}

} // namespace
