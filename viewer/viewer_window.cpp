// The viewer's window.
#include "viewer_window.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "framework/qt_strings.h"

namespace viewer {
namespace {

QString MissingPageHtml(const QString& sentence, const QString& hostPath) {
    QString html = QStringLiteral("<html><body><h2>Page not found</h2><p>%1</p>").arg(sentence.toHtmlEscaped());
    if (!hostPath.isEmpty()) {
        html += QStringLiteral("<p>Looked for: <tt>%1</tt></p>").arg(hostPath.toHtmlEscaped());
    }
    return html + QStringLiteral("<p>Press Esc to close the viewer.</p></body></html>");
}

// Links that belong to the system browser or mail program rather than to the CD.
bool IsExternal(const QUrl& url) {
    return !url.scheme().isEmpty() && url.scheme() != QLatin1String("file") && url.scheme() != QLatin1String("qrc");
}

}  // namespace

ViewerWindow::ViewerWindow(const ViewerArgs& args, const std::string& viewerFolder, QWidget* parent)
    : QMainWindow(parent), args_(args) {
    setObjectName(QStringLiteral("ViewerWindow"));
    if (args_.borderless) setWindowFlags(windowFlags() | Qt::FramelessWindowHint);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    if (args_.debug) {
        auto* strip = new QWidget(central);
        strip->setObjectName(QStringLiteral("DebugStrip"));
        strip->setAutoFillBackground(true);
        QPalette palette = strip->palette();
        palette.setColor(QPalette::Window, QColor(255, 255, 204));
        palette.setColor(QPalette::WindowText, Qt::black);
        strip->setPalette(palette);
        auto* row = new QHBoxLayout(strip);
        row->setContentsMargins(6, 3, 6, 3);
        debugPage_ = new QLabel(QStringLiteral("Page: "), strip);
        debugPage_->setObjectName(QStringLiteral("DebugPage"));
        debugLink_ = new QLabel(QStringLiteral("Link: "), strip);
        debugLink_->setObjectName(QStringLiteral("DebugLink"));
        row->addWidget(debugPage_, 1);
        row->addWidget(debugLink_, 1);
        column->addWidget(strip);
    }

    browser_ = new QTextBrowser(central);
    browser_->setObjectName(QStringLiteral("PageBrowser"));
    // Links are followed here rather than by the browser widget, so that a missing page and a
    // web address are each handled the way the viewer means.
    browser_->setOpenLinks(false);
    browser_->setOpenExternalLinks(false);
    connect(browser_, &QTextBrowser::anchorClicked, this, &ViewerWindow::FollowLink);
    connect(browser_, qOverload<const QUrl&>(&QTextBrowser::highlighted), this, &ViewerWindow::ShowHoveredLink);
    column->addWidget(browser_, 1);
    setCentralWidget(central);

    QPushButton* close = nullptr;
    if (args_.borderless) {
        // Without a frame the end user has no title bar to close the window with, so the viewer
        // keeps one way out on screen whatever the pages offer.
        close = new QPushButton(QStringLiteral("Close (Esc)"), this);
        close->setObjectName(QStringLiteral("CloseButton"));
        close->setFocusPolicy(Qt::NoFocus);
        connect(close, &QPushButton::clicked, this, &QWidget::close);
    }

    if (HasWebLink(args_)) {
        // A menu bar item of its own, not a drop-down: one click opens the address.
        QString text = framework::ToQString(args_.linkText);
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* link = menuBar()->addAction(text);
        link->setObjectName(QStringLiteral("WebLinkAction"));
        link->setEnabled(!args_.address.empty() && args_.address != "-");
        connect(link, &QAction::triggered, this, &ViewerWindow::OpenWebLink);
        if (close) menuBar()->setCornerWidget(close, Qt::TopRightCorner);
    } else {
        menuBar()->hide();
        if (close) {
            auto* bar = new QWidget(central);
            bar->setObjectName(QStringLiteral("CloseBar"));
            auto* row = new QHBoxLayout(bar);
            row->setContentsMargins(4, 2, 4, 2);
            row->addStretch(1);
            close->setParent(bar);
            row->addWidget(close);
            column->insertWidget(0, bar);
        }
    }

    // Esc closes the viewer in every mode; it is the way out a borderless window promises.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    resize(args_.width, args_.height);

    firstPagePath_ = ResolvePagePath(args_.firstPage, viewerFolder);
    if (!firstPagePath_.empty()) firstPagePath_ = FindPage(firstPagePath_);
    const QString shownName = framework::ToQString(PageFileName(args_.firstPage));
    if (HostFileExists(firstPagePath_)) {
        ShowPage(QUrl::fromLocalFile(framework::ToQString(firstPagePath_)), shownName);
    } else {
        // A path the drive table cannot place is shown as it was given.
        const std::string lookedFor = firstPagePath_.empty() ? args_.firstPage : firstPagePath_;
        ShowMissingPage(shownName, framework::ToQString(lookedFor), true);
    }
}

void ViewerWindow::Present() {
    if (args_.maximised) {
        showMaximized();
    } else {
        show();
    }
}

void ViewerWindow::ShowPage(const QUrl& url, const QString& shownName) {
    const QString folder = QFileInfo(url.toLocalFile()).absolutePath();
    browser_->setSearchPaths({folder});
    browser_->setSource(url);
    SetShownPage(shownName);
}

void ViewerWindow::ShowMissingPage(const QString& shownName, const QString& hostPath, bool isFirstPage) {
    const QString sentence = isFirstPage ? QStringLiteral("The first page, %1, cannot be found.").arg(shownName)
                                         : QStringLiteral("The page %1 cannot be found.").arg(shownName);
    browser_->setHtml(MissingPageHtml(sentence, hostPath));
    SetShownPage(shownName);
}

void ViewerWindow::FollowLink(const QUrl& url) {
    if (IsExternal(url)) {
        QDesktopServices::openUrl(url);
        return;
    }
    const QString hostPath = url.toLocalFile();
    const QString shownName = QFileInfo(hostPath).fileName();
    const std::string found = FindPage(framework::FromQString(hostPath));
    if (!HostFileExists(found)) {
        ShowMissingPage(shownName, hostPath, false);
        return;
    }
    QUrl target = QUrl::fromLocalFile(framework::ToQString(found));
    target.setFragment(url.fragment());
    ShowPage(target, shownName);
}

void ViewerWindow::ShowHoveredLink(const QUrl& url) {
    if (!debugLink_) return;
    QString name;
    if (!url.isEmpty()) name = IsExternal(url) ? url.toString() : QFileInfo(url.path()).fileName();
    debugLink_->setText(QStringLiteral("Link: ") + name);
}

void ViewerWindow::SetShownPage(const QString& fileName) {
    setWindowTitle(QStringLiteral("KVD - ") + fileName);
    if (debugPage_) debugPage_->setText(QStringLiteral("Page: ") + fileName);
}

void ViewerWindow::OpenWebLink() {
    QDesktopServices::openUrl(QUrl::fromUserInput(framework::ToQString(args_.address)));
}

}  // namespace viewer
