// The HTTP client control: fetches one address at a time, into memory or into a local file,
// through a proxy of the caller's choice or the desktop's own, and reports what happens as
// events from the event loop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quenda {

// Error codes of the Connected and Error events besides HTTP status codes (300 to 599).
enum HttpErrorCode : int {
    kHttpErrorBadAddress = 20001,       // not an http or https address with a host
    kHttpErrorRedirectRefused = 20002,  // a redirect to another scheme, or too many
    kHttpErrorTooLarge = 20003,         // more bytes than MaxTransfer allows
    kHttpErrorTimeout = 20004,          // kHttpIdleTimeoutMs without any data
    kHttpErrorFile = 20005,             // the local file could not be written
    kHttpErrorTls = 20006,              // the secure connection failed (certificate, handshake)
    kHttpErrorNetwork = 20007,          // host not found, refused, reset, proxy failure, ...
};

// A fetch is given up after this long without any data arriving.
inline constexpr int kHttpIdleTimeoutMs = 30000;
// What a fetch may bring at most unless MaxTransfer is set.
inline constexpr int64_t kHttpDefaultMaxTransfer = 1 << 20;

// What the control tells its host. Every event comes from the event loop, never from inside a
// call to one of the control's members; a handler may call any member, including starting a
// new fetch or aborting this one, after which no further event of this fetch comes.
class HttpEvents {
  public:
    virtual ~HttpEvents() = default;
    // Connecting ended: statusCode 0 when the server answered with success (2xx); otherwise an
    // HTTP status code or an HttpErrorCode with its description, and only Disconnected follows.
    virtual void Connected(int statusCode, const std::string& description) = 0;
    // A part of the body: its length in bytes and its bytes, one character per byte.
    virtual void Transfer(int64_t length, const std::string& text) = 0;
    // The whole body arrived (and the local file, when there is one, is written and closed).
    virtual void EndTransfer() = 0;
    // The fetch is over, whatever its outcome; the last event of every started fetch.
    virtual void Disconnected() = 0;
    // The fetch failed after a successful Connected; Disconnected follows.
    virtual void Error(int code, const std::string& description) = 0;
};

class HttpControl {
  public:
    // events must outlive the control. Lives on the calling thread, which runs the Qt loop.
    explicit HttpControl(HttpEvents& events);
    ~HttpControl();
    HttpControl(const HttpControl&) = delete;
    HttpControl& operator=(const HttpControl&) = delete;

    // The proxy for the following fetches. Until either is set the desktop's proxy settings
    // are used (the http_proxy, https_proxy and no_proxy environment, as Qt's system proxy
    // support reads them); once set, a host "" or port 0 means no proxy at all.
    void SetProxyServer(const std::string& host);
    void SetProxyPort(int port);
    // Where the body is saved ("" keeps it in the events only). The file is written only after
    // a successful Connected, and removed again when the fetch does not end in EndTransfer.
    void SetLocalFile(const std::string& path);
    void SetURL(const std::string& url);
    // Redirects are followed (at most five, never to another scheme) only while this is on;
    // off, a redirect ends the fetch with its status code.
    void SetFollowRedirects(bool on);
    // The most bytes a body may have; a longer one (announced or received) ends in
    // kHttpErrorTooLarge. Values below 1 restore kHttpDefaultMaxTransfer.
    void SetMaxTransfer(int64_t bytes);

    // 1 starts a fetch of URL (ending any fetch in progress without events), 0 aborts the
    // fetch in progress without events. Returns 0, or kHttpErrorBadAddress for another action
    // number. A URL that is not an http or https address still starts: its fetch ends in
    // Connected(kHttpErrorBadAddress, ...) and Disconnected.
    int SetAction(int action);
    // A fetch is in progress (started and not yet Disconnected or aborted).
    bool Busy() const;

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace quenda
