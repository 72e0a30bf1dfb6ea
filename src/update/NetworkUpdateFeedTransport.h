#pragma once

#include "update/UpdateFeedTransport.h"

#include <chrono>
#include <memory>

class QNetworkAccessManager;

namespace quorvel {

// The live feed client over QNetworkAccessManager, set up as a private, ephemeral session:
// no cookies are sent or kept, nothing is cached or served from a cache, no credentials are
// reused, and nothing is written to disk.
//
// Redirects are followed the way the Mac's default session follows them, except that an
// https page is never allowed to send us on to plain http (Qt's NoLessSafeRedirectPolicy);
// the Mac's transport security refuses plain http anyway.
//
// Time-outs: a request gives up after `idle` without a byte arriving, and after `total`
// whatever happens. The production values are ten seconds each; tests pass short ones.
//
// A manifest is a few hundred bytes. A body announced or found to be larger than
// maxManifestBytes is refused as soon as that is known, before more of it is read: it comes
// back as an empty body with the server's status, which no manifest decodes. Redirects stop
// after maxRedirects.
class NetworkUpdateFeedTransport final : public UpdateFeedTransport {
public:
    static constexpr qint64 maxManifestBytes = 32 * 1024;
    static constexpr int maxRedirects = 10;

    struct Timeouts {
        std::chrono::milliseconds idle{10'000};
        std::chrono::milliseconds total{10'000};
    };

    explicit NetworkUpdateFeedTransport(Timeouts timeouts);
    NetworkUpdateFeedTransport()
        : NetworkUpdateFeedTransport(Timeouts{})
    {
    }
    ~NetworkUpdateFeedTransport() override;

    FeedRequestHandle fetch(const QUrl &url, std::function<void(FetchResult)> done) override;
    FeedRequestHandle head(const QUrl &url, std::function<void(HeadResult)> done) override;

private:
    std::unique_ptr<QNetworkAccessManager> m_session;
    Timeouts m_timeouts;
};

} // namespace quorvel
