// Serves the host's files under the disc scheme, found as a disc read on Windows finds them.
#pragma once

#include <QUrl>
#include <QWebEngineUrlSchemeHandler>
#include <string>
#include <utility>

#include "page_files.h"

namespace viewer {

// The disc-scheme address of a host path (bytes; any that are not plain ASCII are escaped).
QUrl DiscUrl(const std::string& hostPath);

// The host path an address of the disc scheme names, without its query and fragment.
std::string DiscHostPath(const QUrl& url);

// The file-name part of a disc-scheme address, as the reader's debug display and title show it.
QString DiscFileName(const QUrl& url);

// The viewer's own page that explains a missing page: the sentence, what was looked for (when
// anything), and the way out.
QString MissingPageHtml(const QString& sentence, const QString& lookedFor);

class DiscSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    // The address of the page the viewer was started with: its explanation says "first page".
    void SetFirstPage(const QUrl& url) { firstPage_ = url.adjusted(QUrl::RemoveFragment | QUrl::RemoveQuery); }

    // The folders whose files the pages may reach: the disc's root, and the folder of a first page
    // named by a full path elsewhere. Nothing outside them is served.
    void SetFolders(PermittedFolders folders) { folders_ = std::move(folders); }

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QUrl firstPage_;
    PermittedFolders folders_;
};

} // namespace viewer
