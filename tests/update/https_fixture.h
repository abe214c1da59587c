// A local HTTPS server for the update check's tests: a certificate made by openssl for
// 127.0.0.1, Python's http.server serving a temporary directory with it on loopback (and the
// same files in the clear on another port), and this test program (only) trusting the
// certificate.
#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>

#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/qt_loop.h"
#include "tests/support/temp_directory.h"

namespace quenda::test {

class HttpsServer {
  public:
    HttpsServer() {
        const std::string base = dir_.Path().string();
        const std::string command =
            "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
            "-addext subjectAltName=IP:127.0.0.1 -keyout " +
            base + "/key.pem -out " + base + "/cert.pem >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return;
        std::filesystem::create_directory(dir_ / "www");
        server_ = std::make_unique<QProcess>();
        server_->start(QStringLiteral("python3"),
                       {QStringLiteral(QUENDA_HTTPS_SERVER), QString::fromStdString(base + "/www"),
                        QString::fromStdString(base + "/cert.pem"),
                        QString::fromStdString(base + "/key.pem")});
        QElapsedTimer waited;
        waited.start();
        while (!server_->canReadLine() && waited.elapsed() < 10000) server_->waitForReadyRead(100);
        if (!server_->canReadLine()) {
            ADD_FAILURE() << server_->readAllStandardError().toStdString();
            return;
        }
        const QList<QByteArray> ports = server_->readLine().trimmed().split(' ');
        if (ports.size() != 2) return;
        port_ = ports[0].toInt();
        plainPort_ = ports[1].toInt();
    }
    ~HttpsServer() {
        if (server_ == nullptr) return;
        server_->kill();
        server_->waitForFinished(5000);
    }

    bool Ok() const { return port_ > 0 && plainPort_ > 0; }
    std::string CertificateFile() const { return (dir_ / "cert.pem").string(); }
    // "https://127.0.0.1:PORT/" + path.
    std::string Address(const std::string& path) const {
        return "https://127.0.0.1:" + std::to_string(port_) + "/" + path;
    }
    // "http://127.0.0.1:PORT/" + path: the same file, served in the clear.
    std::string PlainAddress(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(plainPort_) + "/" + path;
    }
    // Puts a file the server serves at /name.
    void Serve(const std::string& name, const std::string& bytes) const {
        TempDirectory::WriteText(dir_ / "www" / name, bytes);
    }

    // Makes this process trust the server's certificate, or stop trusting it again.
    void Trust(bool on) const {
        static const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
        QSslConfiguration configuration = original;
        if (on) {
            configuration.addCaCertificates(
                QSslCertificate::fromPath(QString::fromStdString(CertificateFile())));
        }
        QSslConfiguration::setDefaultConfiguration(configuration);
    }

  private:
    TempDirectory dir_;
    std::unique_ptr<QProcess> server_;
    int port_ = 0;
    int plainPort_ = 0;
};

}  // namespace quenda::test
