// The viewer's window with its browser engine on a virtual X server: what a reader sees and can do.
#include "viewer_window.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/posix/drive_table.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteBytes;
using viewer::ParseViewerArgs;
using viewer::ViewerWindow;

constexpr int kLoadLimitMs = 30000;

const char kIndex[] = R"(<!DOCTYPE html><html><head><style>
:root { --accent: rgb(200, 30, 90); }
body { margin: 0; }
#bar { background: var(--accent); height: 40px; }
.row { display: flex; }
.row div { width: 80px; height: 30px; }
a { display: inline-block; padding: 4px; }
</style></head><body><div id="bar"></div><div class="row"><div id="a"></div><div id="b"></div></div>
<a id="about" href="about.htm">About</a><a id="caps" href="ABOUT.HTM#end">Caps</a><a id="gone" href="gone.htm">Gone</a>
<a id="blank" href="about.htm" target="_blank">New</a><a id="web" href="https://example.invalid/news.htm?a=1">Web</a>
<a id="mail" href="mailto:reader@example.invalid">Mail</a><br><img id="pic" src="Pictures/Pic.PNG">
<input id="field" value="abc">
<script>const made = document.createElement('p'); made.id = 'made'; made.textContent = 'made by script';
document.body.appendChild(made);</script></body></html>)";

// Tries again and again to open a named pipe for writing without waiting: that succeeds only while
// someone has it open for reading.
class PipeWriter {
public:
    explicit PipeWriter(std::string path)
        : path_(std::move(path)), thread_([this] {
              while (!stop_) {
                  const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                  if (fd >= 0) {
                      found_ = true;
                      ::close(fd);
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
          }) {}
    ~PipeWriter() {
        stop_ = true;
        thread_.join();
    }
    bool FoundAReader() const { return found_; }

private:
    std::string path_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> found_{false};
    std::thread thread_;
};

class ViewerWindowTest : public ::testing::Test {
protected:
    ViewerWindowTest() {
        WriteBytes(dir_ / "index.htm", kIndex);
        WriteBytes(dir_ / "about.htm", "<html><body><p id=\"t\">All about us</p><p id=\"end\">end</p></body></html>");
        testing_support::MakeDirs(dir_ / "pictures");
        // A 37 by 21 pixel PNG, all orange.
        QImage picture(37, 21, QImage::Format_RGB32);
        picture.fill(QColor(255, 165, 0));
        picture.save(QString::fromStdString(dir_ / "pictures/pic.png"));
    }

    std::unique_ptr<ViewerWindow> Open(const std::vector<std::string>& tokens, const std::string& folder = {}) {
        auto w = std::make_unique<ViewerWindow>(ParseViewerArgs(tokens), folder.empty() ? dir_.Path() : folder);
        w->Present();
        // No window manager runs on the virtual display to hand the new window the keyboard.
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        return w;
    }

    static QWebEngineView* View(ViewerWindow& w) { return w.findChild<QWebEngineView*>("PageView"); }

    // The value of a script in the shown page, once the engine has answered.
    static QVariant Js(ViewerWindow& w, const QString& script) {
        QVariant result;
        bool done = false;
        View(w)->page()->runJavaScript(script, [&](const QVariant& value) {
            result = value;
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, kLoadLimitMs)) << script.toStdString();
        return result;
    }

    // Waits until the shown page is loaded and its text contains the words.
    static bool WaitForText(ViewerWindow& w, const QString& words) {
        return QTest::qWaitFor(
            [&] {
                // The engine gets the thread to itself between questions: asked without a pause, every
                // navigation took about a second.
                QTest::qWait(100);
                return Js(w, "document.readyState === 'complete' ? document.body.innerText : ''")
                    .toString()
                    .contains(words);
            },
            kLoadLimitMs);
    }

    static QString Text(ViewerWindow& w) { return Js(w, "document.body.innerText").toString(); }

    // The text a page's script reads at the address, or "refused" when the request fails.
    static std::string Read(ViewerWindow& w, const std::string& address) {
        return Js(w, QStringLiteral("(() => { const x = new XMLHttpRequest(); x.open('GET', '%1', false);"
                                    " try { x.send(); return x.responseText; } catch (e) { return 'refused'; } })()")
                         .arg(QString::fromStdString(address)))
            .toString()
            .toStdString();
    }

    // The middle of an element of the page, in the coordinates of the widget the engine draws in.
    static QPoint Middle(ViewerWindow& w, const QString& id) {
        const QVariantList box =
            Js(w, QStringLiteral("(() => { const r = document.getElementById('%1').getBoundingClientRect();"
                                 " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
                      .arg(id))
                .toList();
        if (box.size() != 2) return {};
        return QPoint(qRound(box[0].toDouble()), qRound(box[1].toDouble()));
    }

    static void Click(ViewerWindow& w, const QString& id) {
        QWidget* surface = View(w)->focusProxy();
        const QPoint at = Middle(w, id);
        QTest::mouseMove(surface, at);
        QTest::mouseClick(surface, Qt::LeftButton, {}, at);
    }

    static void Key(ViewerWindow& w, int key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(View(w)->focusProxy(), static_cast<Qt::Key>(key), modifiers);
    }

    TempDir dir_;
};

TEST_F(ViewerWindowTest, PageIsDrawnWithVariablesFlexScriptAndImages) {
    auto w = Open({"-", "index.htm", "-", "-", "-", "-", "300", "500"});
    ASSERT_TRUE(WaitForText(*w, "made by script")) << Text(*w).toStdString();
    EXPECT_EQ(w->windowTitle(), "KVD - index.htm");
    EXPECT_EQ(w->size(), QSize(500, 300));

    // The two boxes of the flex row stand side by side, not one under the other.
    EXPECT_EQ(Js(*w, "(() => { const a = document.getElementById('a').getBoundingClientRect();"
                     " const b = document.getElementById('b').getBoundingClientRect();"
                     " return [a.left, a.top, b.left, b.top].join(' '); })()")
                  .toString(),
              "0 40 80 40");
    // The picture is asked for as "Pictures/Pic.PNG" and lies on disk as "pictures/pic.png".
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Js(*w, "document.getElementById('pic').complete").toBool(); }, kLoadLimitMs));
    EXPECT_EQ(Js(*w, "document.getElementById('pic').naturalWidth").toInt(), 37);

    // The bar's colour comes from a CSS variable; the screen shows it once the engine has drawn.
    QWidget* surface = View(*w)->focusProxy();
    const QPoint inBar = surface->mapTo(w.get(), QPoint(250, 20));
    QColor seen;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            seen = w->grab().toImage().pixelColor(inBar);
            return seen == QColor(200, 30, 90);
        },
        kLoadLimitMs))
        << seen.name().toStdString();
}

TEST_F(ViewerWindowTest, LinksLeadToTheirPagesInTheSameWindowAndBackReturns) {
    auto w = Open({"d", "index.htm"});
    ASSERT_TRUE(WaitForText(*w, "made by script"));
    auto* page = w->findChild<QLabel*>("DebugPage");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->text(), "Page: index.htm");

    Click(*w, "about");
    ASSERT_TRUE(WaitForText(*w, "All about us")) << Text(*w).toStdString();
    EXPECT_EQ(w->windowTitle(), "KVD - about.htm");
    EXPECT_EQ(page->text(), "Page: about.htm");

    Key(*w, Qt::Key_Left, Qt::AltModifier);
    ASSERT_TRUE(WaitForText(*w, "made by script"));
    EXPECT_EQ(w->windowTitle(), "KVD - index.htm");
    EXPECT_EQ(page->text(), "Page: index.htm");

    // A name in other letters resolves as on a case-blind disc; the address keeps the name asked.
    Click(*w, "caps");
    ASSERT_TRUE(WaitForText(*w, "All about us")) << Text(*w).toStdString();
    EXPECT_EQ(w->windowTitle(), "KVD - ABOUT.HTM");

    Key(*w, Qt::Key_Backspace);
    ASSERT_TRUE(WaitForText(*w, "made by script"));
    EXPECT_EQ(w->windowTitle(), "KVD - index.htm");
    // In a field Backspace edits the text; the page stays.
    Click(*w, "field");
    Key(*w, Qt::Key_End);
    Key(*w, Qt::Key_Backspace);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Js(*w, "document.getElementById('field').value") == "ab"; }, 5000));
    QTest::qWait(500);
    EXPECT_EQ(w->windowTitle(), "KVD - index.htm");

    // A link that asks for a new window opens in this one, and no second window appears.
    const auto windows = QApplication::topLevelWidgets().size();
    Click(*w, "blank");
    ASSERT_TRUE(WaitForText(*w, "All about us")) << Text(*w).toStdString();
    EXPECT_EQ(w->windowTitle(), "KVD - about.htm");
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windows);
    Key(*w, Qt::Key_Left, Qt::AltModifier);
    ASSERT_TRUE(WaitForText(*w, "made by script"));
}

TEST_F(ViewerWindowTest, MissingPagesAreExplainedInTheWindow) {
    WriteBytes(dir_ / "start.htm", "<html><body><a id=\"gone\" href=\"gone.htm\">Gone</a></body></html>");
    auto first = Open({"-", "Start.htm", "-", "-", "-", "-", "300", "500"});
    ASSERT_TRUE(WaitForText(*first, "Gone"));
    Click(*first, "gone");
    ASSERT_TRUE(WaitForText(*first, "The page gone.htm cannot be found.")) << Text(*first).toStdString();
    EXPECT_TRUE(Text(*first).contains(QString::fromStdString("Looked for: " + dir_ / "gone.htm")));
    EXPECT_TRUE(Text(*first).contains("Press Esc to close the viewer."));
    EXPECT_EQ(first->windowTitle(), "KVD - gone.htm");
    // Once the page is there, F5 shows it in place of the explanation.
    WriteBytes(dir_ / "gone.htm", "<html><body>Back again</body></html>");
    Key(*first, Qt::Key_F5);
    ASSERT_TRUE(WaitForText(*first, "Back again")) << Text(*first).toStdString();

    // A page beside the disc's folder is no page of the disc, though the file is there.
    testing_support::MakeDirs(dir_ / "cd");
    WriteBytes(dir_ / "cd/start.htm", "<html><body><a id=\"out\" href=\"../about.htm\">Out</a></body></html>");
    auto disc = Open({"-", "start.htm"}, dir_ / "cd");
    ASSERT_TRUE(WaitForText(*disc, "Out"));
    Click(*disc, "out");
    ASSERT_TRUE(WaitForText(*disc, "The page about.htm cannot be found.")) << Text(*disc).toStdString();

    auto missing = Open({"-", "none.htm"});
    ASSERT_TRUE(WaitForText(*missing, "The first page, none.htm, cannot be found.")) << Text(*missing).toStdString();
    EXPECT_TRUE(Text(*missing).contains(QString::fromStdString(dir_ / "none.htm")));
    EXPECT_EQ(missing->windowTitle(), "KVD - none.htm");

    // A drive that is not there: the page is named as it was given.
    platform::posix::DriveEntry drive;
    drive.letter = 'Q';
    drive.hostFolder = dir_.Path();
    platform::posix::SetDriveTable({drive});
    auto elsewhere = Open({"-", "R:\\help\\kvdhelp.htm"});
    platform::posix::ResetDriveTable();
    ASSERT_TRUE(WaitForText(*elsewhere, "The first page, kvdhelp.htm, cannot be found."));
    EXPECT_TRUE(Text(*elsewhere).contains("R:\\help\\kvdhelp.htm")) << Text(*elsewhere).toStdString();
    EXPECT_EQ(elsewhere->windowTitle(), "KVD - kvdhelp.htm");
}

TEST_F(ViewerWindowTest, DebugLineNamesTheLinkUnderTheMouse) {
    auto w = Open({"d", "index.htm", "-", "-", "-", "-", "300", "500"});
    ASSERT_TRUE(WaitForText(*w, "made by script"));
    auto* link = w->findChild<QLabel*>("DebugLink");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->text(), "Link: ");
    QWidget* surface = View(*w)->focusProxy();

    QTest::mouseMove(surface, Middle(*w, "bar"));
    QTest::mouseMove(surface, Middle(*w, "caps"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return link->text() == "Link: ABOUT.HTM"; }, kLoadLimitMs))
        << link->text().toStdString();
    QTest::mouseMove(surface, Middle(*w, "web"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return link->text() == "Link: https://example.invalid/news.htm?a=1"; }, kLoadLimitMs))
        << link->text().toStdString();
    QTest::mouseMove(surface, Middle(*w, "bar"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return link->text() == "Link: "; }, kLoadLimitMs)) << link->text().toStdString();

    EXPECT_EQ(Open({"-", "index.htm"})->findChild<QLabel*>("DebugLink"), nullptr);
}

TEST_F(ViewerWindowTest, EscClosesABorderlessWindowThatShowsItsWayOut) {
    for (const std::string text : {"-", "Visit us on the Web!"}) {
        auto w = Open({"-", "index.htm", text, "http://www.example.com/", "-", "N", "300", "500"});
        EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
        auto* close = w->findChild<QPushButton*>("CloseButton");
        ASSERT_NE(close, nullptr) << text;
        EXPECT_EQ(close->text(), "Close (Esc)");
        EXPECT_TRUE(close->isVisible()) << text;
        ASSERT_TRUE(WaitForText(*w, "made by script"));
        Key(*w, Qt::Key_Escape);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !w->isVisible(); }, 5000)) << text;
    }
    auto maximised = Open({"-", "index.htm", "-", "-", "M", "N"});
    EXPECT_TRUE(maximised->isMaximized());
    EXPECT_NE(maximised->findChild<QPushButton*>("CloseButton"), nullptr);
    EXPECT_EQ(Open({"-", "index.htm"})->findChild<QPushButton*>("CloseButton"), nullptr);
}

TEST_F(ViewerWindowTest, WebAddressesGoToTheSystemOpener) {
    // The system opener is a recorder that notes each address it is asked to open.
    TempDir bin;
    const std::string record = bin / "opened.txt";
    WriteBytes(bin / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + record + "'\n");
    ASSERT_EQ(::chmod((bin / "xdg-open").c_str(), 0755), 0);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin.Path()) + ":" + path);
    qunsetenv("BROWSER");
    qunsetenv("DEFAULT_BROWSER");
    auto opened = [&] { return testing_support::HostExists(record) ? testing_support::ReadBytes(record) : ""; };

    auto w = Open({"-", "index.htm", "Tom & Jerry's site", "http://www.example.com/"});
    ASSERT_TRUE(WaitForText(*w, "made by script"));
    QAction* item = w->findChild<QAction*>("WebLinkAction");
    ASSERT_NE(item, nullptr);
    // A lone ampersand would become a mnemonic and vanish from the item.
    EXPECT_EQ(item->text(), "Tom && Jerry's site");
    EXPECT_TRUE(w->menuBar()->actions().contains(item));

    Click(*w, "web");
    EXPECT_TRUE(QTest::qWaitFor([&] { return opened() == "https://example.invalid/news.htm?a=1\n"; }, 10000))
        << opened();
    Click(*w, "mail");
    EXPECT_TRUE(QTest::qWaitFor([&] { return opened().size() > 40; }, 10000)) << opened();
    item->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return opened().size() > 70; }, 10000)) << opened();
    // Any other scheme is refused, asked for by the page, a frame or a new window, in any spelling.
    for (const char* script :
         {"location.href = 'ftp://example.invalid/f.txt'", "location.href = ' SHELL:startup'",
          "const f = document.createElement('iframe'); f.src = 'ms-settings:display'; document.body.appendChild(f)",
          "window.open('telnet://example.invalid/')", "location.href = 'kvd-made-up:x'"})
        Js(*w, script);
    QTest::qWait(2000);
    EXPECT_EQ(opened(),
              "https://example.invalid/news.htm?a=1\nmailto:reader@example.invalid\nhttp://www.example.com/\n");
    // The page stays where it was.
    EXPECT_EQ(w->windowTitle(), "KVD - index.htm");
    EXPECT_TRUE(Text(*w).contains("made by script"));

    // With nothing to open it, the reader is told in a message box.
    ASSERT_EQ(::unlink((bin / "xdg-open").c_str()), 0);
    qputenv("PATH", QByteArray::fromStdString(bin.Path()));
    item->trigger();
    QMessageBox* box = nullptr;
    EXPECT_TRUE(QTest::qWaitFor([&] { return (box = w->findChild<QMessageBox*>("OpenFailedBox")) != nullptr; }, 5000));
    qputenv("PATH", path);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "No program on this computer can open this address.");
    EXPECT_EQ(box->informativeText(), "http://www.example.com/");
    box->close();
}

// What a page of the disc can read: the disc's files, through links that stay inside too, and
// nothing beside the disc, however the address or a symbolic link on the disc leads there.
TEST_F(ViewerWindowTest, PagesReadOnlyFilesThatLieInsideTheDisc) {
    testing_support::MakeDirs(dir_ / "cd/sub");
    testing_support::MakeDirs(dir_ / "cd2");
    WriteBytes(dir_ / "cd/start.htm", "<html><body><p>start</p></body></html>");
    WriteBytes(dir_ / "cd/sub/inner.txt", "inner");
    WriteBytes(dir_ / "secret.htm", "secret");
    WriteBytes(dir_ / "cd2/page.htm", "beside");
    const std::vector<std::pair<std::string, std::string>> links = {
        {"../secret.htm", "cd/outfile.htm"}, {"../cd2", "cd/outdir"}, {"/", "cd/rootlink"},
        {"sub/inner.txt", "cd/infile.txt"},  {"sub", "cd/indir"},
    };
    for (const auto& [target, name] : links)
        ASSERT_EQ(::symlink(target.c_str(), (dir_ / name).c_str()), 0) << name;

    // A named pipe is no page: the viewer never opens it, so no writer ever finds a reader there (a
    // viewer that opened it and waited would be set free by the writer, and found out).
    ASSERT_EQ(::mkfifo((dir_ / "cd/pipe.htm").c_str(), 0644), 0);
    PipeWriter writer(dir_ / "cd/pipe.htm");
    auto w = Open({"-", "start.htm"}, dir_ / "cd");
    ASSERT_TRUE(WaitForText(*w, "start"));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"sub/inner.txt", "inner"},
        {"SUB/Inner.TXT", "inner"},
        {"infile.txt", "inner"},        // a file link that stays inside
        {"indir/inner.txt", "inner"},   // a folder link that stays inside
        {"outfile.htm", "refused"},     // a file link to a file beside the disc
        {"outdir/page.htm", "refused"}, // a folder link to a folder beside the disc
        {"rootlink" + dir_ / "secret.htm", "refused"},
        {"..%2Fsecret.htm", "refused"}, // the engine does not split an escaped separator
        {"sub%2F..%2F..%2Fsecret.htm", "refused"},
        {"../cd2/page.htm", "refused"}, // a sibling whose name starts with the disc's
        {"../secret.htm", "refused"},
        {"pipe.htm", "refused"},
    };
    for (const auto& [address, expected] : cases)
        EXPECT_EQ(Read(*w, address), expected) << address;
    auto pipe = Open({"-", "pipe.htm"}, dir_ / "cd");
    EXPECT_TRUE(WaitForText(*pipe, "The first page, pipe.htm, cannot be found.")) << Text(*pipe).toStdString();
    EXPECT_FALSE(writer.FoundAReader());

    // A first page given by a full path typed in other letters opens, with its neighbours.
    auto upper = Open({"-", dir_ / "CD/START.HTM"}, dir_ / "cd2");
    ASSERT_TRUE(WaitForText(*upper, "start")) << Text(*upper).toStdString();
    EXPECT_EQ(Js(*upper, "(() => { const x = new XMLHttpRequest(); x.open('GET', 'Sub/inner.txt', false);"
                         " x.send(); return x.responseText; })()")
                  .toString(),
              "inner");
}

// A first page given relative to the disc stays on it however it is spelt, and permits no more than
// the disc; one given by a full path permits its own folder as the engine resolves its address.
TEST_F(ViewerWindowTest, AFirstPageOfTheDiscStaysOnItHoweverItIsSpelt) {
    testing_support::MakeDirs(dir_ / "proj/sub");
    testing_support::MakeDirs(dir_ / "beside");
    testing_support::MakeDirs(dir_ / "wizard");
    WriteBytes(dir_ / "proj/index.htm", "<html><body><p>disc start</p></body></html>");
    WriteBytes(dir_ / "proj/sub/inner.txt", "inner");
    WriteBytes(dir_ / "beside/index.htm", "<html><body><p>beside</p></body></html>");
    WriteBytes(dir_ / "secret.htm", "<html><body><p>secret</p></body></html>");
    ASSERT_EQ(::symlink("/", (dir_ / "proj/link").c_str()), 0);
    ASSERT_EQ(::symlink("../beside", (dir_ / "proj/out").c_str()), 0);
    const std::string secret = "link" + dir_ / "secret.htm";

    const struct {
        std::string page;
        std::string folder;
    } shown[] = {
        {"link/../index.htm", dir_ / "proj"},
        {"sub/./../index.htm", dir_ / "proj"},
        {dir_ / "proj/link/../index.htm", dir_ / "wizard"},
    };
    for (const auto& row : shown) {
        SCOPED_TRACE(row.page);
        auto w = Open({"-", row.page}, row.folder);
        ASSERT_TRUE(WaitForText(*w, "disc start")) << Text(*w).toStdString();
        EXPECT_EQ(Read(*w, "sub/inner.txt"), "inner");
        EXPECT_EQ(Read(*w, secret), "refused");
        EXPECT_EQ(Read(*w, "out/index.htm"), "refused");
    }

    for (const std::string& page : std::vector<std::string>{"../secret.htm", "sub/../../secret.htm",
                                                            "sub/.. /secret.htm", "out/index.htm", secret}) {
        SCOPED_TRACE(page);
        auto w = Open({"-", page}, dir_ / "proj");
        const QString sentence =
            QString::fromStdString("The first page, " + viewer::PageFileName(page) + ", cannot be found.");
        EXPECT_TRUE(WaitForText(*w, sentence)) << Text(*w).toStdString();
    }
}

} // namespace
