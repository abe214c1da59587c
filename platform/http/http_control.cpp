// The HTTP client control over QNetworkAccessManager: one reply at a time, a generation number
// that silences the events of an aborted fetch, an idle timer, a size cap and a file sink.
#include "platform/http/http_control.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace quenda {
namespace {

constexpr int kMaxRedirects = 5;
// Bytes Qt may hold for us before we read them, so a fast server cannot fill the memory.
constexpr qint64 kReadBufferBytes = 64 * 1024;

bool FetchableScheme(const QUrl& url) {
    return (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")) &&
           !url.host().isEmpty();
}

int CodeOf(QNetworkReply::NetworkError error) {
    switch (error) {
        case QNetworkReply::SslHandshakeFailedError:
            return kHttpErrorTls;
        case QNetworkReply::TimeoutError:
            return kHttpErrorTimeout;
        case QNetworkReply::TooManyRedirectsError:
        case QNetworkReply::InsecureRedirectError:
            return kHttpErrorRedirectRefused;
        default:
            return kHttpErrorNetwork;
    }
}

}  // namespace

// Which proxy the fetches go through: the desktop's until the host sets one.
class ControlProxyFactory final : public QNetworkProxyFactory {
  public:
    bool set = false;
    QString host;
    int port = 0;

    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
        if (!set) return systemProxyForQuery(query);
        if (host.isEmpty() || port <= 0 || port > 65535) return {QNetworkProxy::NoProxy};
        return {QNetworkProxy(QNetworkProxy::HttpProxy, host, static_cast<quint16>(port))};
    }
};

class HttpControl::Impl {
  public:
    explicit Impl(HttpEvents& events) : events_(events) {
        proxies_ = new ControlProxyFactory;
        manager_.setProxyFactory(proxies_);  // the manager owns it
        idle_.setSingleShot(true);
        QObject::connect(&idle_, &QTimer::timeout, &manager_, [this] {
            Fail(kHttpErrorTimeout,
                 "No data for " + std::to_string(kHttpIdleTimeoutMs / 1000) + " seconds");
        });
    }
    ~Impl() { Stop(); }

    void Start();
    // Ends the fetch in progress without events; a partial file is removed.
    void Stop();
    bool Busy() const { return busy_; }

    ControlProxyFactory* proxies_ = nullptr;
    std::string localFile_;
    std::string url_;
    bool followRedirects_ = false;
    int64_t maxTransfer_ = kHttpDefaultMaxTransfer;

  private:
    void MetaData();
    void ReadyRead();
    void Finished();
    void Redirected(const QUrl& target);
    // Reports the answer's status once: true when it was a success and the body may follow.
    // A redirect's status counts only at the end (final): before, the redirect may be followed.
    bool Connect(bool final = false);
    // Ends the fetch with the error: as the connection result before Connected, else as Error.
    void Fail(int code, const std::string& description);
    // Ends the fetch: removes an unfinished file, then Disconnected.
    void Close();
    bool Current(unsigned generation) const { return generation == generation_ && busy_; }

    HttpEvents& events_;
    QNetworkAccessManager manager_;
    QTimer idle_;
    QPointer<QNetworkReply> reply_;
    QFile file_;
    QString scheme_;
    unsigned generation_ = 0;  // bumped by every start and stop
    bool busy_ = false;
    bool connected_ = false;  // Connected(0) was raised
    bool complete_ = false;   // the body arrived whole
    int64_t received_ = 0;
};

void HttpControl::Impl::Start() {
    Stop();
    const unsigned generation = ++generation_;
    busy_ = true;
    connected_ = false;
    complete_ = false;
    received_ = 0;
    const QUrl url(QString::fromStdString(url_), QUrl::StrictMode);
    if (!url.isValid() || !FetchableScheme(url)) {
        // Events never come from inside a member call.
        QTimer::singleShot(0, &manager_, [this, generation] {
            if (Current(generation)) Fail(kHttpErrorBadAddress, "Not an http or https address");
        });
        return;
    }
    scheme_ = url.scheme();
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         followRedirects_ ? QNetworkRequest::UserVerifiedRedirectPolicy
                                          : QNetworkRequest::ManualRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Quenda"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = manager_.get(request);
    reply->setReadBufferSize(kReadBufferBytes);
    reply_ = reply;
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &manager_, [this] { MetaData(); });
    QObject::connect(reply, &QNetworkReply::readyRead, &manager_, [this] { ReadyRead(); });
    QObject::connect(reply, &QNetworkReply::finished, &manager_, [this] { Finished(); });
    QObject::connect(reply, &QNetworkReply::redirected, &manager_,
                     [this](const QUrl& target) { Redirected(target); });
    idle_.start(kHttpIdleTimeoutMs);
}

void HttpControl::Impl::Stop() {
    ++generation_;
    busy_ = false;
    idle_.stop();
    if (reply_ != nullptr) {
        QNetworkReply* reply = reply_;
        reply_ = nullptr;
        QObject::disconnect(reply, nullptr, &manager_, nullptr);
        // A reply that failed already must not be failed again by an abort.
        if (!reply->isFinished() && reply->error() == QNetworkReply::NoError) reply->abort();
        reply->deleteLater();
    }
    if (file_.isOpen()) file_.close();
    if (!complete_ && !file_.fileName().isEmpty()) file_.remove();
    file_.setFileName(QString());
}

void HttpControl::Impl::Redirected(const QUrl& target) {
    idle_.start(kHttpIdleTimeoutMs);
    // A page asked for over https must not be handed over in the clear, nor the other way.
    if (target.scheme() != scheme_) {
        Fail(kHttpErrorRedirectRefused,
             "Redirect to " + target.toString(QUrl::RemoveUserInfo).toStdString() + " refused");
        return;
    }
    if (reply_ != nullptr) emit reply_->redirectAllowed();
}

void HttpControl::Impl::MetaData() {
    idle_.start(kHttpIdleTimeoutMs);
    if (reply_ != nullptr) Connect();
}

bool HttpControl::Impl::Connect(bool final) {
    if (connected_) return true;
    const unsigned generation = generation_;
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300 && status < 400 && followRedirects_ && !final) return false;
    if (status < 200 || status >= 300) {
        if (status == 0) return false;  // no answer yet: the error comes with the end
        const std::string reason =
            reply_->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().toStdString();
        Fail(status, "HTTP " + std::to_string(status) + (reason.empty() ? "" : " " + reason));
        return false;
    }
    const QVariant announced = reply_->header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid() && announced.toLongLong() > maxTransfer_) {
        Fail(kHttpErrorTooLarge, "The answer announces " + std::to_string(announced.toLongLong()) +
                                     " bytes, more than " + std::to_string(maxTransfer_));
        return false;
    }
    if (!localFile_.empty()) {
        file_.setFileName(QString::fromStdString(localFile_));
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            const std::string why = file_.errorString().toStdString();
            file_.setFileName(QString());  // not ours: nothing to remove
            Fail(kHttpErrorFile, "Cannot write " + localFile_ + ": " + why);
            return false;
        }
    }
    connected_ = true;
    events_.Connected(0, "");
    return Current(generation);
}

void HttpControl::Impl::ReadyRead() {
    idle_.start(kHttpIdleTimeoutMs);
    if (reply_ == nullptr || !Connect()) return;
    const unsigned generation = generation_;
    while (Current(generation) && reply_ != nullptr && reply_->bytesAvailable() > 0) {
        const QByteArray part = reply_->read(kReadBufferBytes);
        received_ += part.size();
        if (received_ > maxTransfer_) {
            Fail(kHttpErrorTooLarge,
                 "The answer is longer than " + std::to_string(maxTransfer_) + " bytes");
            return;
        }
        if (file_.isOpen() && file_.write(part) != part.size()) {
            Fail(kHttpErrorFile,
                 "Cannot write " + localFile_ + ": " + file_.errorString().toStdString());
            return;
        }
        events_.Transfer(part.size(), part.toStdString());
    }
}

void HttpControl::Impl::Finished() {
    if (reply_ == nullptr) return;
    const unsigned generation = generation_;
    // An error status (404) is the connection result; a network error has no status.
    if (Connect(true)) ReadyRead();
    if (!Current(generation) || reply_ == nullptr) return;
    if (reply_->error() != QNetworkReply::NoError) {
        Fail(CodeOf(reply_->error()), reply_->errorString().toStdString());
        return;
    }
    if (!Connect(true)) {
        // Finished without a usable status (a redirect that was not followed was reported).
        if (Current(generation)) Fail(kHttpErrorNetwork, "No answer");
        return;
    }
    idle_.stop();
    if (file_.isOpen()) {
        const bool flushed = file_.flush();
        file_.close();
        if (!flushed) {
            Fail(kHttpErrorFile, "Cannot write " + localFile_);
            return;
        }
    }
    complete_ = true;
    events_.EndTransfer();
    if (Current(generation)) Close();
}

void HttpControl::Impl::Fail(int code, const std::string& description) {
    const unsigned generation = generation_;
    if (connected_) {
        events_.Error(code, description);
    } else {
        events_.Connected(code, description);
    }
    if (Current(generation)) Close();
}

void HttpControl::Impl::Close() {
    Stop();
    events_.Disconnected();
}

HttpControl::HttpControl(HttpEvents& events) : impl_(std::make_unique<Impl>(events)) {}

HttpControl::~HttpControl() = default;

void HttpControl::SetProxyServer(const std::string& host) {
    impl_->proxies_->set = true;
    impl_->proxies_->host = QString::fromStdString(host);
}

void HttpControl::SetProxyPort(int port) {
    impl_->proxies_->set = true;
    impl_->proxies_->port = port;
}

void HttpControl::SetLocalFile(const std::string& path) {
    impl_->localFile_ = path;
}

void HttpControl::SetURL(const std::string& url) {
    impl_->url_ = url;
}

void HttpControl::SetFollowRedirects(bool on) {
    impl_->followRedirects_ = on;
}

void HttpControl::SetMaxTransfer(int64_t bytes) {
    impl_->maxTransfer_ = bytes < 1 ? kHttpDefaultMaxTransfer : bytes;
}

int HttpControl::SetAction(int action) {
    switch (action) {
        case 0:
            impl_->Stop();
            return 0;
        case 1:
            impl_->Start();
            return 0;
        default:
            return kHttpErrorBadAddress;
    }
}

bool HttpControl::Busy() const {
    return impl_->Busy();
}

}  // namespace quenda
