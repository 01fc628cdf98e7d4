// The update check against an HTTPS server on loopback with a certificate of its own, trusted
// through the process's default TLS configuration: the program's own fetch (address from
// MOXEL_UPDATE_URL) and the worker that repeats it.
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <future>

#include "peers/TestCertificate.h"
#include "shell/app/FrameOptions.h"
#include "shell/update/UpdateFetch.h"
#include "shell/update/UpdateWorker.h"

namespace {

// Answers every request with `body` (status `status`) and remembers the requests' heads.
class HttpsServer : public QObject {
public:
    HttpsServer(const QSslCertificate& certificate, const QSslKey& key) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(certificate);
        tls.setPrivateKey(key);
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        server.setSslConfiguration(tls);
        connect(&server, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (server.hasPendingConnections()) {
                Serve(static_cast<QSslSocket*>(server.nextPendingConnection()));
            }
        });
        QVERIFY(server.listen(QHostAddress::LocalHost));
    }
    quint16 Port() const { return server.serverPort(); }

    QByteArray body = "no";
    int status = 200;
    QList<QByteArray> heads;
    int connections = 0;

private:
    void Serve(QSslSocket* socket) {
        ++connections;
        auto* received = new QByteArray;
        connect(socket, &QSslSocket::readyRead, socket, [this, socket, received] {
            *received += socket->readAll();
            if (!received->contains("\r\n\r\n")) {
                return;
            }
            heads.append(*received);
            socket->write("HTTP/1.1 " + QByteArray::number(status) +
                          " X\r\nContent-Type: text/plain\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
            socket->disconnectFromHost();
        });
        connect(socket, &QSslSocket::disconnected, socket, [socket, received] {
            delete received;
            socket->deleteLater();
        });
    }

    QSslServer server;
};

}  // namespace

class UpdateCheckTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder;
    QSslCertificate certificate;
    QSslKey key;
    QSslCertificate otherCertificate;
    QSslKey otherKey;
    std::unique_ptr<HttpsServer> server;

    QString Address(const char* scheme = "https") const {
        return QStringLiteral("%1://127.0.0.1:%2/moxel/update").arg(scheme).arg(server->Port());
    }

    // A self-signed certificate for `name` (with 127.0.0.1 for "localhost") and its key.
    bool Load(const std::string& name, QSslCertificate& loadedCertificate, QSslKey& loadedKey) {
        const std::filesystem::path base =
            folder.filePath(QString::fromStdString(name)).toStdString();
        moxeltest::CertificateProfile profile;
        profile.name = name;
        moxeltest::WriteSelfSignedCertificate(profile, base.string() + ".crt",
                                              base.string() + ".key");
        QFile keyText(QString::fromStdString(base.string() + ".key"));
        QFile certificateText(QString::fromStdString(base.string() + ".crt"));
        if (!keyText.open(QIODevice::ReadOnly) || !certificateText.open(QIODevice::ReadOnly)) {
            return false;
        }
        loadedKey = QSslKey(keyText.readAll(), QSsl::Rsa);
        loadedCertificate = QSslCertificate(certificateText.readAll());
        return !loadedKey.isNull() && !loadedCertificate.isNull();
    }

    // The program's own fetch, on a thread of its own as the worker runs it.
    std::optional<std::string> Fetch() {
        auto fetch = FrameOptions::Defaults().fetchUpdate;
        std::atomic<bool> stop{false};
        auto result = std::async(std::launch::async, [&] { return fetch(stop); });
        [&] {
            QTRY_VERIFY_WITH_TIMEOUT(
                result.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 30000);
        }();
        return result.get();
    }

private slots:
    void initTestCase() {
        QVERIFY(folder.isValid());
        QVERIFY(Load("localhost", certificate, key));
        QVERIFY(Load("update.example.com", otherCertificate, otherKey));
        // The test's certificates are trusted by this process only.
        QSslConfiguration trust = QSslConfiguration::defaultConfiguration();
        trust.addCaCertificate(certificate);
        trust.addCaCertificate(otherCertificate);
        QSslConfiguration::setDefaultConfiguration(trust);
    }
    void init() {
        server = std::make_unique<HttpsServer>(certificate, key);
        qputenv("MOXEL_UPDATE_URL", Address().toUtf8());
    }
    void cleanup() {
        server.reset();
        qunsetenv("MOXEL_UPDATE_URL");
    }

    void Answers_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("answered");
        QTest::newRow("no") << QByteArray("no") << 200 << true;
        QTest::newRow("notice") << QByteArray("Version <b>1.1</b> is out.") << 200 << true;
        QTest::newRow("4 KB") << QByteArray(4096, 'x') << 200 << true;
        QTest::newRow("one byte over 4 KB") << QByteArray(4097, 'x') << 200 << false;
        QTest::newRow("1 MB") << QByteArray(1024 * 1024, 'x') << 200 << false;
        QTest::newRow("not found") << QByteArray("no such page") << 404 << false;
        QTest::newRow("moved") << QByteArray() << 302 << false;
    }
    void Answers() {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(bool, answered);
        server->body = body;
        server->status = status;
        const std::optional<std::string> answer = Fetch();
        QCOMPARE(answer.has_value(), answered);
        if (answered) {
            QCOMPARE(QByteArray::fromStdString(*answer), body);
        }
        QCOMPARE(server->heads.size(), 1);
        const QByteArray head = server->heads.at(0);
        QVERIFY2(head.startsWith("GET /moxel/update?rev=185 HTTP/1.1\r\n"), head.constData());
        QVERIFY2(head.contains("\r\nUser-Agent: Ostrand Network\r\n"), head.constData());
        QVERIFY2(head.contains("\r\nCache-Control: no-cache\r\n"), head.constData());
    }

    // Plain http is never asked, even where a server would answer it.
    void PlainHttpIsNeverAsked() {
        QTcpServer plain;
        QVERIFY(plain.listen(QHostAddress::LocalHost));
        int connections = 0;
        connect(&plain, &QTcpServer::newConnection, this, [&] {
            ++connections;
            QTcpSocket* socket = plain.nextPendingConnection();
            socket->write(
                "HTTP/1.1 200 OK\r\nContent-Length: 7\r\nConnection: close\r\n\r\n"
                "Version");
            socket->disconnectFromHost();
        });
        qputenv("MOXEL_UPDATE_URL",
                QString("http://127.0.0.1:%1/moxel/update").arg(plain.serverPort()).toUtf8());
        QVERIFY(!Fetch().has_value());
        QCOMPARE(connections, 0);
    }

    // A server whose certificate (trusted here) names another host is not believed.
    void CertificateForAnotherName() {
        HttpsServer other(otherCertificate, otherKey);
        other.body = "Version 1.1 is out.";
        qputenv("MOXEL_UPDATE_URL",
                QString("https://127.0.0.1:%1/moxel/update").arg(other.Port()).toUtf8());
        QVERIFY(!Fetch().has_value());
        QCOMPARE(other.heads.size(), 0);
    }

    // The worker keeps asking while the answer is "no" and keeps the first other text.
    void WorkerKeepsTheNotice() {
        server->body = "no";
        UpdateWorker worker(FrameOptions::Defaults().fetchUpdate, std::chrono::milliseconds(1));
        worker.Start();
        QTRY_VERIFY_WITH_TIMEOUT(server->heads.size() >= 2, 30000);
        QVERIFY(!worker.TakeNotification().has_value());
        server->body = "Version 1.1 is out.\n";
        std::optional<QString> notice;
        const auto taken = [&] {
            if (!notice) {
                notice = worker.TakeNotification();
            }
            return notice.has_value();
        };
        QTRY_VERIFY_WITH_TIMEOUT(taken(), 30000);
        QCOMPARE(*notice, QString("Version 1.1 is out."));
        QVERIFY(!worker.TakeNotification().has_value());
        worker.Stop();
    }

    // A worker waiting its 12 hours stops at once.
    void WorkerStopsWhileWaiting() {
        server->body = "no";
        UpdateWorker worker(FrameOptions::Defaults().fetchUpdate);
        worker.Start();
        QTRY_COMPARE_WITH_TIMEOUT(server->heads.size(), 1, 30000);
        worker.Stop();
        QVERIFY(!worker.TakeNotification().has_value());
    }
};

QTEST_MAIN(UpdateCheckTest)
#include "update_check_qtest.moc"
