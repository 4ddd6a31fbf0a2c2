// The viewer's window on the offscreen platform: title, size, frame, menu, debug strip, links, Esc.
#include "viewer_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <memory>

#include "platform/posix/drive_table.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteBytes;
using viewer::ParseViewerArgs;
using viewer::ViewerWindow;

class ViewerWindowTest : public ::testing::Test {
protected:
    ViewerWindowTest() {
        WriteBytes(dir_ / "index.htm",
                   "<html><body><p>Welcome home</p><a href=\"about.htm\">About</a> <a href=\"gone.htm\">Gone</a>"
                   "</body></html>");
        WriteBytes(dir_ / "about.htm", "<html><body><p>All about us</p></body></html>");
    }

    std::unique_ptr<ViewerWindow> Open(const std::vector<std::string>& tokens) {
        return std::make_unique<ViewerWindow>(ParseViewerArgs(tokens), dir_.Path());
    }

    static QString PageText(ViewerWindow& w) { return w.findChild<QTextBrowser*>("PageBrowser")->toPlainText(); }

    static QAction* WebLink(ViewerWindow& w) { return w.findChild<QAction*>("WebLinkAction"); }

    TempDir dir_;
};

TEST_F(ViewerWindowTest, SizedWindowWithBorderShowsTheFirstPage) {
    auto w = Open({"-", "index.htm", "-", "-", "-", "-", "300", "500"});
    w->Present();
    EXPECT_EQ(w->windowTitle(), "KVD - index.htm");
    EXPECT_EQ(w->size(), QSize(500, 300));
    EXPECT_FALSE(w->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(w->isMaximized());
    EXPECT_TRUE(PageText(*w).contains("Welcome home"));
    EXPECT_EQ(w->findChild<QPushButton*>("CloseButton"), nullptr);
    EXPECT_EQ(w->findChild<QWidget*>("DebugStrip"), nullptr);
    EXPECT_EQ(WebLink(*w), nullptr);
    EXPECT_FALSE(w->menuBar()->isVisible());
}

TEST_F(ViewerWindowTest, MaximisedListIgnoresSizes) {
    auto w = Open({"-", "index.htm", "-", "-", "M"});
    w->Present();
    EXPECT_TRUE(w->isMaximized());
}

TEST_F(ViewerWindowTest, WebLinkItemCarriesTheLinkText) {
    auto w = Open({"-", "index.htm", "Tom & Jerry's site", "http://www.example.com/"});
    QAction* link = WebLink(*w);
    ASSERT_NE(link, nullptr);
    // A lone ampersand would become a mnemonic and vanish from the item.
    EXPECT_EQ(link->text(), "Tom && Jerry's site");
    EXPECT_TRUE(link->isEnabled());
    EXPECT_TRUE(w->menuBar()->actions().contains(link));
    EXPECT_EQ(link->menu(), nullptr);

    auto noAddress = Open({"-", "index.htm", "Visit us on the Web!", "-"});
    ASSERT_NE(WebLink(*noAddress), nullptr);
    EXPECT_FALSE(WebLink(*noAddress)->isEnabled());
}

TEST_F(ViewerWindowTest, BorderlessWindowKeepsACloseButton) {
    for (const std::string text : {"-", "Visit us on the Web!"}) {
        auto w = Open({"-", "index.htm", text, "http://www.example.com/", "-", "N", "300", "500"});
        w->Present();
        EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
        auto* close = w->findChild<QPushButton*>("CloseButton");
        ASSERT_NE(close, nullptr) << text;
        EXPECT_EQ(close->text(), "Close (Esc)");
        EXPECT_TRUE(close->isVisible()) << text;
        close->click();
        EXPECT_FALSE(w->isVisible()) << text;
    }
    auto maximised = Open({"-", "index.htm", "-", "-", "M", "N"});
    EXPECT_TRUE(maximised->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_NE(maximised->findChild<QPushButton*>("CloseButton"), nullptr);
}

TEST_F(ViewerWindowTest, EscClosesTheViewerInEveryMode) {
    const std::vector<std::vector<std::string>> lists = {
        {"-", "index.htm", "-", "-", "-", "-", "300", "500"},
        {"d", "index.htm", "Visit", "http://www.example.com/", "-", "N", "300", "500"},
        {"-", "index.htm", "-", "-", "M", "N"},
        {"-", "missing.htm"},
    };
    for (const auto& tokens : lists) {
        auto w = Open(tokens);
        w->Present();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        w->activateWindow();
        auto* browser = w->findChild<QTextBrowser*>("PageBrowser");
        browser->setFocus();
        QTest::keyClick(browser, Qt::Key_Escape);
        EXPECT_FALSE(w->isVisible()) << tokens[1] << " " << tokens.size() << " tokens";
    }
}

TEST_F(ViewerWindowTest, DebugStripNamesThePageAndTheLinkUnderTheMouse) {
    auto w = Open({"d", "index.htm", "-", "-", "-", "-", "300", "500"});
    auto* page = w->findChild<QLabel*>("DebugPage");
    auto* link = w->findChild<QLabel*>("DebugLink");
    ASSERT_NE(page, nullptr);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(page->text(), "Page: index.htm");
    EXPECT_EQ(link->text(), "Link: ");

    auto* browser = w->findChild<QTextBrowser*>("PageBrowser");
    emit browser->highlighted(QUrl::fromLocalFile(QString::fromStdString(dir_ / "about.htm")));
    EXPECT_EQ(link->text(), "Link: about.htm");
    emit browser->highlighted(QUrl("http://www.example.com/news.htm"));
    EXPECT_EQ(link->text(), "Link: http://www.example.com/news.htm");
    emit browser->highlighted(QUrl());
    EXPECT_EQ(link->text(), "Link: ");

    auto plain = Open({"-", "index.htm"});
    EXPECT_EQ(plain->findChild<QLabel*>("DebugPage"), nullptr);
}

TEST_F(ViewerWindowTest, LocalLinksAreFollowedAndMissingOnesExplained) {
    auto w = Open({"d", "index.htm"});
    auto* browser = w->findChild<QTextBrowser*>("PageBrowser");
    auto* page = w->findChild<QLabel*>("DebugPage");

    emit browser->anchorClicked(QUrl::fromLocalFile(QString::fromStdString(dir_ / "about.htm")));
    EXPECT_TRUE(PageText(*w).contains("All about us"));
    EXPECT_EQ(w->windowTitle(), "KVD - about.htm");
    EXPECT_EQ(page->text(), "Page: about.htm");

    // Pages written for a case-blind file system still link.
    emit browser->anchorClicked(QUrl::fromLocalFile(QString::fromStdString(dir_ / "INDEX.htm")));
    EXPECT_TRUE(PageText(*w).contains("Welcome home"));
    EXPECT_EQ(page->text(), "Page: INDEX.htm");

    emit browser->anchorClicked(QUrl::fromLocalFile(QString::fromStdString(dir_ / "gone.htm")));
    EXPECT_TRUE(PageText(*w).contains("The page gone.htm cannot be found.")) << PageText(*w).toStdString();
    EXPECT_EQ(w->windowTitle(), "KVD - gone.htm");
}

TEST_F(ViewerWindowTest, MissingFirstPageShowsAMessageInTheWindow) {
    auto w = Open({"-", "start.htm", "-", "-", "-", "-", "300", "500"});
    EXPECT_EQ(w->windowTitle(), "KVD - start.htm");
    const QString text = PageText(*w);
    EXPECT_TRUE(text.contains("The first page, start.htm, cannot be found.")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString(dir_ / "start.htm")));

    // A drive that is not there: the page is named as it was given.
    platform::posix::DriveEntry drive;
    drive.letter = 'Q';
    drive.hostFolder = dir_.Path();
    platform::posix::SetDriveTable({drive});
    auto r = Open({"-", "R:\\help\\kvdhelp.htm"});
    platform::posix::ResetDriveTable();
    EXPECT_EQ(r->windowTitle(), "KVD - kvdhelp.htm");
    EXPECT_TRUE(PageText(*r).contains("The first page, kvdhelp.htm, cannot be found."));
    EXPECT_TRUE(PageText(*r).contains("R:\\help\\kvdhelp.htm")) << PageText(*r).toStdString();

    // A folder of that name is no page either.
    testing_support::MakeDirs(dir_ / "folder.htm");
    auto f = Open({"-", "folder.htm"});
    EXPECT_TRUE(PageText(*f).contains("The first page, folder.htm, cannot be found."));
}

TEST_F(ViewerWindowTest, PageInASubFolderFindsItsNeighbours) {
    testing_support::MakeDirs(dir_ / "pages");
    WriteBytes(dir_ / "pages/intro.htm", "<html><body><a href=\"next.htm\">Next</a></body></html>");
    WriteBytes(dir_ / "pages/next.htm", "<html><body>Second page</body></html>");
    auto w = Open({"-", "pages\\intro.htm"});
    EXPECT_EQ(w->windowTitle(), "KVD - intro.htm");
    EXPECT_EQ(w->FirstPagePath(), dir_ / "pages/intro.htm");
    auto* browser = w->findChild<QTextBrowser*>("PageBrowser");
    EXPECT_EQ(browser->searchPaths(), QStringList{QString::fromStdString(dir_ / "pages")});
    // The browser resolves a relative link against the page it shows.
    EXPECT_EQ(browser->source().resolved(QUrl("next.htm")).toLocalFile(),
              QString::fromStdString(dir_ / "pages/next.htm"));
}

}  // namespace
