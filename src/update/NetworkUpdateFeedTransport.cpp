#include "update/NetworkUpdateFeedTransport.h"

#include "records/DiagnosticLog.h"
#include "support/Descriptors.h"
#include "update/UpdateVersion.h"

#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <utility>

namespace quorvel {

namespace {

// Keeps nothing and offers nothing, so no cookie from the feed ever outlives a request.
class NoCookieJar final : public QNetworkCookieJar {
public:
    using QNetworkCookieJar::QNetworkCookieJar;
    QList<QNetworkCookie> cookiesForUrl(const QUrl &) const override { return {}; }
    bool setCookiesFromUrl(const QList<QNetworkCookie> &, const QUrl &) override { return false; }
};

// Errors that Qt derives from an HTTP status code alone (404 becomes ContentNotFoundError and
// so on). The server did answer, so for us these are responses, not failures.
bool isStatusError(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ContentAccessDenied:
    case QNetworkReply::ContentOperationNotPermittedError:
    case QNetworkReply::ContentNotFoundError:
    case QNetworkReply::AuthenticationRequiredError:
    case QNetworkReply::ContentReSendError:
    case QNetworkReply::ContentConflictError:
    case QNetworkReply::ContentGoneError:
    case QNetworkReply::UnknownContentError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
    case QNetworkReply::InternalServerError:
    case QNetworkReply::OperationNotImplementedError:
    case QNetworkReply::ServiceUnavailableError:
    case QNetworkReply::UnknownServerError: return true;
    default: return false;
    }
}

// One QNetworkReply seen through to exactly one completion.
class PendingReply final : public FeedRequest {
public:
    using Answer = std::function<void(QNetworkReply *reply, int statusCode)>;
    using Failure = std::function<void(TransportError)>;
    using Oversized = std::function<void(int statusCode)>;

    PendingReply(Answer answer, Failure failure)
        : m_answer(std::move(answer))
        , m_failure(std::move(failure))
    {
    }

    static std::shared_ptr<PendingReply> watch(QNetworkReply *reply, std::chrono::milliseconds total, Answer answer,
                                               Failure failure)
    {
        auto pending = std::make_shared<PendingReply>(std::move(answer), std::move(failure));
        pending->m_reply = reply;
        // The connection holds the request alive until the reply is done, so a caller that
        // drops its handle still gets its completion.
        QObject::connect(reply, &QNetworkReply::finished, reply, [pending] { pending->finished(); });
        if (total.count() > 0) {
            auto *timer = new QTimer(reply);
            timer->setSingleShot(true);
            QObject::connect(timer, &QTimer::timeout, reply, [pending] { pending->timeOut(); });
            timer->start(total);
        }
        return pending;
    }

    void cancel() override { fail(QStringLiteral("cancelled")); }

    // Refuses the body once it is announced or found to be longer than `maxBytes`; Qt holds at
    // most a little more than that in its buffer meanwhile.
    void limitBody(qint64 maxBytes, Oversized oversized)
    {
        QNetworkReply *reply = m_reply;
        if (!reply)
            return;
        m_oversized = std::move(oversized);
        reply->setReadBufferSize(maxBytes + 1);
        auto check = [this, reply, maxBytes] {
            bool ok = false;
            const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
            if ((ok && announced > maxBytes) || reply->bytesAvailable() > maxBytes)
                refuseBody();
        };
        QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, check);
        QObject::connect(reply, &QNetworkReply::readyRead, reply, check);
    }

private:
    void refuseBody()
    {
        if (m_completed)
            return;
        m_completed = true;
        QNetworkReply *reply = m_reply;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        DiagnosticLog::log(DiagnosticLog::Level::info, DiagnosticLog::Category::app,
                           QStringLiteral("update feed answer refused, too large, url=") + reply->url().toString());
        reply->abort();
        reply->deleteLater();
        auto oversized = std::exchange(m_oversized, nullptr);
        m_answer = nullptr;
        m_failure = nullptr;
        oversized(status);
    }

    void timeOut() { fail(QStringLiteral("timed out")); }

    void fail(const QString &message)
    {
        if (m_completed)
            return;
        m_completed = true;
        if (QNetworkReply *reply = m_reply) {
            // abort() reports finished() at once; m_completed makes that a no-op.
            reply->abort();
            reply->deleteLater();
        }
        finish(TransportError{message});
    }

    void finished()
    {
        if (m_completed)
            return;
        m_completed = true;
        QNetworkReply *reply = m_reply;
        reply->deleteLater();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const bool answered =
            reply->error() == QNetworkReply::NoError || (status.toInt() >= 400 && isStatusError(reply->error()));
        if (!status.isValid()) {
            // Not an HTTP exchange at all (for example a file: or data: URL in the override).
            finish(TransportError{reply->error() == QNetworkReply::NoError ? QStringLiteral("bad server response")
                                                                           : reply->errorString()});
        } else if (!answered) {
            finish(TransportError{reply->errorString()});
        } else {
            auto answer = std::exchange(m_answer, nullptr);
            m_failure = nullptr;
            m_oversized = nullptr;
            answer(reply, status.toInt());
        }
    }

    void finish(TransportError error)
    {
        auto failure = std::exchange(m_failure, nullptr);
        m_answer = nullptr;
        m_oversized = nullptr;
        failure(std::move(error));
    }

    QPointer<QNetworkReply> m_reply;
    Answer m_answer;
    Failure m_failure;
    Oversized m_oversized;
    bool m_completed = false;
};

std::optional<qint64> contentLength(const QNetworkReply *reply)
{
    if (reply->hasRawHeader("Content-Length")) {
        const auto stated = UpdateVersion::parseDecimalInteger(QString::fromLatin1(reply->rawHeader("Content-Length")));
        if (stated)
            return stated;
    }
    // What Qt itself expects to receive, when that says anything useful.
    bool ok = false;
    const qint64 expected = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
    if (ok && expected >= 1)
        return expected;
    return std::nullopt;
}

} // namespace

NetworkUpdateFeedTransport::NetworkUpdateFeedTransport(Timeouts timeouts)
    : m_session(std::make_unique<QNetworkAccessManager>())
    , m_timeouts(timeouts)
{
    m_session->setCookieJar(new NoCookieJar(m_session.get()));
    m_session->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    m_session->setStrictTransportSecurityEnabled(false);
}

NetworkUpdateFeedTransport::~NetworkUpdateFeedTransport() = default;

namespace {

QNetworkRequest ephemeralRequest(const QUrl &url, std::chrono::milliseconds idle)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(NetworkUpdateFeedTransport::maxRedirects);
    request.setTransferTimeout(int(idle.count()));
    return request;
}

// A request that was never sent: it fails, as a connection that cannot be made would, once
// the caller is back in the event loop (never from inside fetch() or head()).
class RefusedRequest final : public FeedRequest {
public:
    static FeedRequestHandle failLater(std::function<void(TransportError)> failure)
    {
        auto request = std::make_shared<RefusedRequest>(std::move(failure));
        QTimer::singleShot(0, [weak = std::weak_ptr<RefusedRequest>(request)] {
            if (const auto alive = weak.lock())
                alive->cancel();
        });
        return request;
    }
    explicit RefusedRequest(std::function<void(TransportError)> failure)
        : m_failure(std::move(failure))
    {
    }
    void cancel() override
    {
        if (auto failure = std::exchange(m_failure, nullptr))
            failure(TransportError{QStringLiteral("too many open files")});
    }

private:
    std::function<void(TransportError)> m_failure;
};

// Qt runs HTTP on a thread of its own, and a thread that cannot get its wake-up descriptor
// takes the whole app down: the request is refused while descriptors run short.
bool roomForRequest()
{
    constexpr int headroom = 16; // the thread's wake-up, the connection, name lookup and TLS
    if (descriptorsToSpare(headroom))
        return true;
    DiagnosticLog::log(DiagnosticLog::Level::error, DiagnosticLog::Category::app,
                       QStringLiteral("update request not sent, reason=too many open files"));
    return false;
}

} // namespace

FeedRequestHandle NetworkUpdateFeedTransport::fetch(const QUrl &url, std::function<void(FetchResult)> done)
{
    if (!roomForRequest())
        return RefusedRequest::failLater([done](TransportError error) { done(std::move(error)); });
    QNetworkRequest request = ephemeralRequest(url, m_timeouts.idle);
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("Cache-Control", "no-cache");
    QNetworkReply *reply = m_session->get(request);
    auto pending = PendingReply::watch(
        reply, m_timeouts.total,
        [done](QNetworkReply *r, int status) {
            // A body that arrived in one piece can still be too long; it is refused the same way.
            if (r->bytesAvailable() > maxManifestBytes)
                return done(FetchResponse{QByteArray(), status});
            done(FetchResponse{r->read(maxManifestBytes), status});
        },
        [done](TransportError error) { done(std::move(error)); });
    pending->limitBody(maxManifestBytes, [done](int status) { done(FetchResponse{QByteArray(), status}); });
    return pending;
}

FeedRequestHandle NetworkUpdateFeedTransport::head(const QUrl &url, std::function<void(HeadResult)> done)
{
    if (!roomForRequest())
        return RefusedRequest::failLater([done](TransportError error) { done(std::move(error)); });
    QNetworkReply *reply = m_session->head(ephemeralRequest(url, m_timeouts.idle));
    return PendingReply::watch(
        reply, m_timeouts.total,
        [done](QNetworkReply *r, int status) {
            done(HeadResponse{status, contentLength(r)});
        },
        [done](TransportError error) { done(std::move(error)); });
}

} // namespace quorvel
