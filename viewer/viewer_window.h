// The viewer's one window: a page, an optional web-link menu item, a debug strip and a close bar.
#pragma once

#include <QMainWindow>
#include <QUrl>
#include <string>

#include "viewer_args.h"

class QLabel;
class QTextBrowser;

namespace viewer {

class ViewerWindow : public QMainWindow {
    Q_OBJECT

public:
    // viewerFolder: host path of the folder of the viewer's program file.
    ViewerWindow(const ViewerArgs& args, const std::string& viewerFolder, QWidget* parent = nullptr);

    // Shows the window sized or maximised, as the arguments asked.
    void Present();

    // Host path of the first page, empty when it could not be translated.
    const std::string& FirstPagePath() const { return firstPagePath_; }

private:
    void ShowPage(const QUrl& url, const QString& shownName);
    void ShowMissingPage(const QString& shownName, const QString& hostPath, bool isFirstPage);
    void FollowLink(const QUrl& url);
    void ShowHoveredLink(const QUrl& url);
    void SetShownPage(const QString& fileName);
    void OpenWebLink();

    ViewerArgs args_;
    std::string firstPagePath_;
    QTextBrowser* browser_ = nullptr;
    QLabel* debugPage_ = nullptr;
    QLabel* debugLink_ = nullptr;
};

}  // namespace viewer
