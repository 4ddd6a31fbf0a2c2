// The viewer's one window: a page, an optional web-link menu item, a debug strip and a close bar.
#pragma once

#include <QMainWindow>
#include <QUrl>
#include <string>

#include "page_files.h"

class QLabel;
class QWebEngineProfile;
class QWebEngineView;

namespace viewer {

class DiscSchemeHandler;

class ViewerWindow : public QMainWindow {
    Q_OBJECT

public:
    // viewerFolder: host path of the folder of the viewer's program file.
    ViewerWindow(const ViewerArgs& args, const std::string& viewerFolder, QWidget* parent = nullptr);
    ~ViewerWindow() override;

    // Shows the window sized or maximised, as the arguments asked.
    void Present();

private:
    // Where a navigation of the page goes: true when the page itself is to load the address.
    bool AcceptNavigation(const QUrl& url, bool isMainFrame);
    void ShowShownPage(const QUrl& url);
    void SetShownPageName(const QString& fileName);
    void ShowHoveredLink(const QString& url);
    void ShowContextMenu(const QPoint& position);
    void OpenWebLink();
    // Hands an address to the system's browser or mail program; says so when there is none.
    void OpenElsewhere(const QUrl& url);

    ViewerArgs args_;
    QString firstPageName_;
    QWebEngineProfile* profile_ = nullptr;
    DiscSchemeHandler* discScheme_ = nullptr;
    QWebEngineView* view_ = nullptr;
    QLabel* debugPage_ = nullptr;
    QLabel* debugLink_ = nullptr;
};

} // namespace viewer
