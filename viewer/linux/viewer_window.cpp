// The viewer's window.
#include "viewer_window.h"

#include <QAction>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>
#include <functional>
#include <utility>

#include "disc_scheme.h"
#include "engine_setup.h"
#include "framework/qt_strings.h"

namespace viewer {
namespace {

// The page asks the window about every navigation, so that the disc's pages stay in the window
// and everything else goes to the programs of the system.
class ViewerPage : public QWebEnginePage {
public:
    using Decide = std::function<bool(const QUrl&, bool)>;
    ViewerPage(QWebEngineProfile* profile, Decide decide, QObject* parent)
        : QWebEnginePage(profile, parent), decide_(std::move(decide)) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        return decide_(url, isMainFrame);
    }

private:
    Decide decide_;
};

AddressKind KindOf(const QUrl& url) {
    return ClassifyAddress(framework::FromQString(url.toString(QUrl::FullyEncoded)), kDiscScheme);
}

bool IsDiscUrl(const QUrl& url) { return KindOf(url) == AddressKind::kDiscPage; }

// Backspace goes back as in the browsers readers know, but only when the page has no use for the
// key: never while the reader types into a field, and never when a script of the page took it.
// The engine keeps Backspace to itself, so every frame of the page watches for it, in a script
// world of its own that the page's scripts cannot see or change. The check waits until the key's
// event has passed every handler of the page.
void AddBackspaceScript(QWebEngineProfile* profile) {
    QWebEngineScript script;
    script.setName(QStringLiteral("kvd-backspace"));
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setRunsOnSubFrames(true);
    script.setSourceCode(QStringLiteral(R"(
window.addEventListener('keydown', (event) => {
    if (event.key !== 'Backspace' || event.altKey || event.ctrlKey || event.metaKey || event.shiftKey) return;
    const target = event.target;
    if (target && (target.isContentEditable || /^(INPUT|TEXTAREA|SELECT)$/.test(target.nodeName))) return;
    setTimeout(() => { if (!event.defaultPrevented) history.back(); }, 0);
});)"));
    profile->scripts()->insert(script);
}

} // namespace

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

    // A profile of the window's own that keeps nothing on disk: the viewer runs from a disc on
    // the reader's machine and should leave no cache or cookies behind there.
    profile_ = new QWebEngineProfile(this);
    discScheme_ = new DiscSchemeHandler(this);
    profile_->installUrlSchemeHandler(kDiscScheme, discScheme_);

    view_ = new QWebEngineView(central);
    view_->setObjectName(QStringLiteral("PageView"));
    auto* page = new ViewerPage(
        profile_, [this](const QUrl& url, bool isMainFrame) { return AcceptNavigation(url, isMainFrame); }, view_);
    view_->setPage(page);
    // Links that ask for a new window open here: the viewer is one window, as the disc's author
    // sees it in the preview.
    connect(page, &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest& request) {
        const QUrl url = request.requestedUrl();
        if (url.isEmpty()) return;
        if (AcceptNavigation(url, true)) view_->load(url);
    });
    connect(page, &QWebEnginePage::urlChanged, this, &ViewerWindow::ShowShownPage);
    connect(page, &QWebEnginePage::linkHovered, this, &ViewerWindow::ShowHoveredLink);
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this, &ViewerWindow::ShowContextMenu);
    AddBackspaceScript(profile_);
    column->addWidget(view_, 1);
    setCentralWidget(central);
    // The page has the keyboard from the start, so the reader can scroll it without a click first.
    view_->setFocus();

    QAction* back = page->action(QWebEnginePage::Back);
    back->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    QAction* forward = page->action(QWebEnginePage::Forward);
    forward->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    // F5 reloads as in the browsers readers know: a page put in place since shows then.
    QAction* reload = page->action(QWebEnginePage::Reload);
    reload->setShortcut(QKeySequence(Qt::Key_F5));
    addActions({back, forward, reload});

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
        link->setEnabled(HasWebLinkAddress(args_));
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

    firstPageName_ = framework::ToQString(PageFileName(args_.firstPage));
    // The disc's folder as the engine's addresses name it: dot parts resolved on the text.
    const std::string disc = ResolveDotParts(viewerFolder, '/').value_or(viewerFolder);
    const std::string asked = ResolvePagePath(args_.firstPage, disc);
    SetShownPageName(firstPageName_);
    if (asked.empty()) {
        // A path the drive table cannot place has no address; it is named as it was given.
        const QString sentence =
            framework::ToQString(MissingPageSentence(framework::FromQString(firstPageName_), true));
        view_->setHtml(MissingPageHtml(sentence, framework::ToQString(args_.firstPage)));
    } else {
        // The address keeps the name as asked, so the title and the debug display show it that way.
        const QUrl first = DiscUrl(asked);
        discScheme_->SetFirstPage(first);
        // The disc is the viewer's folder, and a page given relative to it is served only when its
        // real path lies in the disc's real folder. A first page given by a full path (the
        // wizard's help page lives in the wizard's folder) adds its own folder, as the case-blind
        // search found it and as its links lead.
        PermittedFolders folders({disc});
        if (GivenByFullPath(args_.firstPage)) folders.AddFolderOf(FindPage(asked));
        discScheme_->SetFolders(std::move(folders));
        view_->load(first);
    }
}

ViewerWindow::~ViewerWindow() {
    // The page must go before the profile it was made with.
    delete view_;
}

void ViewerWindow::Present() {
    if (args_.maximised) {
        showMaximized();
    } else {
        show();
    }
}

bool ViewerWindow::AcceptNavigation(const QUrl& url, bool isMainFrame) {
    const AddressKind kind = KindOf(url);
    if (kind == AddressKind::kLocalFile && isMainFrame) {
        // A page that names its neighbours with file addresses still gets them as the disc has
        // them: as the disc page, which is served only inside the disc's folders.
        QUrl disc = DiscUrl(framework::FromQString(url.toLocalFile()));
        disc.setFragment(url.fragment());
        QMetaObject::invokeMethod(
            this, [this, disc] { view_->load(disc); }, Qt::QueuedConnection);
        return false;
    }
    switch (RouteNavigation(kind, isMainFrame)) {
    case Route::kShowHere:
        return true;
    case Route::kOpenElsewhere:
        QMetaObject::invokeMethod(
            this, [this, url] { OpenElsewhere(url); }, Qt::QueuedConnection);
        return false;
    case Route::kRefuse:
        break;
    }
    return false;
}

void ViewerWindow::ShowShownPage(const QUrl& url) {
    SetShownPageName(IsDiscUrl(url) ? DiscFileName(url) : firstPageName_);
}

void ViewerWindow::SetShownPageName(const QString& fileName) {
    setWindowTitle(QStringLiteral("KVD - ") + fileName);
    if (debugPage_) debugPage_->setText(QStringLiteral("Page: ") + fileName);
}

void ViewerWindow::ShowHoveredLink(const QString& link) {
    if (!debugLink_) return;
    const QUrl url(link);
    QString name;
    if (!link.isEmpty()) name = IsDiscUrl(url) ? DiscFileName(url) : link;
    debugLink_->setText(QStringLiteral("Link: ") + name);
}

void ViewerWindow::ShowContextMenu(const QPoint& position) {
    // What a reader needs and no more: the page's source and the developer tools are the author's.
    QWebEnginePage* page = view_->page();
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("PageMenu"));
    menu.addAction(page->action(QWebEnginePage::Back));
    menu.addAction(page->action(QWebEnginePage::Forward));
    menu.addAction(page->action(QWebEnginePage::Reload));
    menu.addSeparator();
    QAction* copy = page->action(QWebEnginePage::Copy);
    copy->setEnabled(page->hasSelection());
    menu.addAction(copy);
    menu.addAction(page->action(QWebEnginePage::SelectAll));
    menu.exec(view_->mapToGlobal(position));
}

void ViewerWindow::OpenWebLink() { OpenElsewhere(QUrl::fromUserInput(framework::ToQString(args_.address))); }

void ViewerWindow::OpenElsewhere(const QUrl& url) {
    // The last word before the desktop gets an address: the web-link item's address comes from the
    // disc's settings, and a path or another scheme there would start whatever program claims it.
    if (!GoesToReadersPrograms(framework::FromQString(url.toString(QUrl::FullyEncoded)))) return;
    if (QDesktopServices::openUrl(url)) return;
    auto* box =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("KVD"),
                        QStringLiteral("No program on this computer can open this address."), QMessageBox::Ok, this);
    box->setInformativeText(url.toDisplayString());
    box->setObjectName(QStringLiteral("OpenFailedBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace viewer
