// The disc scheme's handler.
#include "disc_scheme.h"

#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QMap>
#include <QMimeDatabase>
#include <QWebEngineUrlRequestJob>

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

void DiscSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QUrl url = job->requestUrl();
    const std::string asked = DiscHostPath(url);
    const std::string found = FindPage(asked);
    // The file opened is the one the check resolved: its path has no link left to lead elsewhere.
    // A named pipe or a device is no page: it is passed over before anything opens it, and the
    // opening itself never waits on one put there since.
    const std::string served = HostFileExists(found) ? folders_.Resolve(found) : std::string();
    const int fd = served.empty() ? -1 : OpenRegularFile(served);
    if (fd >= 0) {
        auto* file = new QFile(job);
        if (file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            static const QMimeDatabase mimeTypes;
            // The type follows the name the page asked for, as a server's would.
            const QMimeType type = mimeTypes.mimeTypeForFile(framework::ToQString(found));
            job->reply(type.name().toLatin1(), file);
            return;
        }
        delete file;
        ::close(fd);
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
