#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace quorvel {

// The request could not be completed as HTTP: no connection, a time-out, a broken or
// non-HTTP answer, or a cancellation. The checker treats every one of them alike.
struct TransportError {
    QString message;
    bool operator==(const TransportError &) const = default;
};

struct FetchResponse {
    QByteArray body;
    int statusCode = 0;
    bool operator==(const FetchResponse &) const = default;
};

struct HeadResponse {
    int statusCode = 0;
    std::optional<qint64> contentLength;
    bool operator==(const HeadResponse &) const = default;
};

using FetchResult = std::variant<FetchResponse, TransportError>;
using HeadResult = std::variant<HeadResponse, TransportError>;

// A request in flight. Cancelling reports a TransportError through the request's completion
// before cancel() returns (unless the completion already ran); afterwards it is a no-op.
class FeedRequest {
public:
    virtual ~FeedRequest() = default;
    virtual void cancel() = 0;
};
using FeedRequestHandle = std::shared_ptr<FeedRequest>;

// The HTTP client of the update checker. Any HTTP answer is a response, whatever its status
// code; only a failure to get one is an error. Completions run exactly once, on the thread
// that started the request, and never from inside fetch() or head() themselves.
class UpdateFeedTransport {
public:
    virtual ~UpdateFeedTransport() = default;
    // GET, asking for JSON and for no cached copy.
    virtual FeedRequestHandle fetch(const QUrl &url, std::function<void(FetchResult)> done) = 0;
    // HEAD, to learn whether the file exists and how long it is.
    virtual FeedRequestHandle head(const QUrl &url, std::function<void(HeadResult)> done) = 0;
};

} // namespace quorvel
