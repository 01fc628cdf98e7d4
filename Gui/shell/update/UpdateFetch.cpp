#include "shell/update/UpdateFetch.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <memory>

namespace {

constexpr int kTransferTimeoutMilliseconds = 60000;
constexpr int kStopLookMilliseconds = 100;

void LogFailure(const QString& reason) {
    qWarning("Problem connecting to the web server. (%s)", qPrintable(reason.left(300)));
}

}  // namespace

std::optional<std::string> FetchUpdateAnswer(const QString& address, int buildNumber,
                                             const std::atomic<bool>& stopRequested) {
    QUrl url(address + QStringLiteral("?rev=%1").arg(buildNumber));
    if (!url.isValid() || url.scheme() != QLatin1String("https")) {
        LogFailure(QStringLiteral("the update address is not an https address"));
        return std::nullopt;
    }
    QNetworkAccessManager manager;
    manager.setAutoDeleteReplies(false);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Ostrand Network"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // A redirect could lead to plain http; the service answers where it is asked.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(kTransferTimeoutMilliseconds);

    const std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QByteArray answer;
    bool tooLong = false;
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        // Read in blocks, so that a long answer is refused before it is all in memory.
        while (reply->bytesAvailable() > 0 && !tooLong) {
            answer += reply->read(1024);
            if (answer.size() > kMaxAnswerBytes) {
                tooLong = true;
                reply->abort();
            }
        }
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer stopLook;
    QObject::connect(&stopLook, &QTimer::timeout, &loop, [&] {
        if (stopRequested) {
            reply->abort();
        }
    });
    stopLook.start(kStopLookMilliseconds);
    if (!reply->isFinished()) {
        loop.exec();
    }
    if (!tooLong && reply->bytesAvailable() > 0) {
        answer += reply->readAll();
        tooLong = answer.size() > kMaxAnswerBytes;
    }

    if (tooLong) {
        LogFailure(QStringLiteral("the answer is longer than %1 bytes").arg(kMaxAnswerBytes));
        return std::nullopt;
    }
    if (stopRequested) {
        return std::nullopt;
    }
    if (reply->error() != QNetworkReply::NoError) {
        LogFailure(reply->errorString());
        return std::nullopt;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 200) {
        LogFailure(QStringLiteral("HTTP status %1").arg(status));
        return std::nullopt;
    }
    return answer.toStdString();
}
