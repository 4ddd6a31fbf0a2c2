// The disc scheme's handler.
#include "disc_scheme.h"

#include <QBuffer>
#include <QFile>
#include <QMap>
#include <QMimeDatabase>
#include <QWebEngineUrlRequestJob>
#include <utility>

#include "engine_setup.h"
#include "framework/qt_strings.h"
#include "page_files.h"

namespace viewer {
namespace {

// Every disc address has the same host, so that all the disc's pages share one origin, as the
// pages of one folder of files do in a browser.
constexpr char kDiscHost[] = "disc";

// A browser asks for a document it will show with text/html first in its Accept header; an image,
// a style sheet or a script asks for something else. Only a shown document gets the explanation;
// the others fail as a missing file does in a browser.
bool WantsDocument(const QWebEngineUrlRequestJob* job) {
    return job->requestHeaders().value(QByteArrayLiteral("Accept")).contains("text/html");
}

// A "." or ".." part would let a path that starts inside a folder end outside it.
bool HasDotPart(const std::string& hostPath) {
    size_t begin = 0;
    while (begin <= hostPath.size()) {
        size_t end = hostPath.find('/', begin);
        if (end == std::string::npos) end = hostPath.size();
        const std::string part = hostPath.substr(begin, end - begin);
        if (part == "." || part == "..") return true;
        begin = end + 1;
    }
    return false;
}

} // namespace

QUrl DiscUrl(const std::string& hostPath) {
    QUrl url;
    url.setScheme(QLatin1String(kDiscScheme));
    url.setHost(QLatin1String(kDiscHost));
    url.setPath(QString::fromLatin1(QByteArray::fromStdString(hostPath).toPercentEncoding("/")), QUrl::StrictMode);
    return url;
}

std::string DiscHostPath(const QUrl& url) {
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

QString DiscFileName(const QUrl& url) { return framework::ToQString(PageFileName(DiscHostPath(url))); }

QString MissingPageHtml(const QString& sentence, const QString& lookedFor) {
    return framework::ToQString(
        viewer::MissingPageHtml(framework::FromQString(sentence), framework::FromQString(lookedFor)));
}

void DiscSchemeHandler::SetFolders(std::vector<std::string> folders) {
    for (std::string& folder : folders) {
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
    }
    folders_ = std::move(folders);
}

bool DiscSchemeHandler::Inside(const std::string& hostPath) const {
    if (HasDotPart(hostPath)) return false;
    for (const std::string& folder : folders_) {
        if (folder == "/" || hostPath.compare(0, folder.size() + 1, folder + "/") == 0) return true;
    }
    return false;
}

void DiscSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QUrl url = job->requestUrl();
    const std::string asked = DiscHostPath(url);
    const std::string found = FindPage(asked);
    if (Inside(found) && HostFileExists(found)) {
        auto* file = new QFile(framework::ToQString(found), job);
        if (file->open(QIODevice::ReadOnly)) {
            static const QMimeDatabase mimeTypes;
            const QMimeType type = mimeTypes.mimeTypeForFile(file->fileName());
            job->reply(type.name().toLatin1(), file);
            return;
        }
        delete file;
    }
    if (!WantsDocument(job)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    const QString name = DiscFileName(url);
    const bool first = url.adjusted(QUrl::RemoveFragment | QUrl::RemoveQuery) == firstPage_;
    const QString sentence = framework::ToQString(MissingPageSentence(framework::FromQString(name), first));
    auto* page = new QBuffer(job);
    page->setData(MissingPageHtml(sentence, framework::ToQString(asked)).toUtf8());
    page->open(QIODevice::ReadOnly);
    job->reply(QByteArrayLiteral("text/html"), page);
}

} // namespace viewer
