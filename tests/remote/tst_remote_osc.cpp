// The OSC side of the remote control: the packet reader and writer on their own, then real UDP sockets on
// 127.0.0.1 against the simulator.

#include "LoopbackLink.h"
#include "Orlan_d.h"
#include "OscMessages.h"
#include "OscServer.h"
#include "RemoteService.h"
#include "ScalerSimulator.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>
#include <QtEndian>

#include <lo/lo_lowlevel.h>

#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>

using namespace OxsRemote;
using namespace OrlanVars;

namespace {

// An OSC message built with liblo, as a show-control program would send it. Arguments by type: int i,
// qlonglong h, float f, double d, QString s, bool T/F, an invalid QVariant N.
QByteArray osc(const char *path, const QVariantList &args = {}) {
    lo_message m = lo_message_new();
    for (const QVariant &a : args) {
        const int type = a.typeId();
        if (type == QMetaType::Int) lo_message_add_int32(m, a.toInt());
        if (type == QMetaType::LongLong) lo_message_add_int64(m, a.toLongLong());
        if (type == QMetaType::Float) lo_message_add_float(m, a.toFloat());
        if (type == QMetaType::Double) lo_message_add_double(m, a.toDouble());
        if (type == QMetaType::QString) lo_message_add_string(m, a.toString().toUtf8().constData());
        if (type == QMetaType::Bool) a.toBool() ? lo_message_add_true(m) : lo_message_add_false(m);
        if (!a.isValid()) lo_message_add_nil(m);
    }
    size_t size = 0;
    void *data = lo_message_serialise(m, path, nullptr, &size);
    const QByteArray out(static_cast<const char *>(data), qsizetype(size));
    std::free(data);
    lo_message_free(m);
    return out;
}

QByteArray bundle(quint64 timeTag, const QList<QByteArray> &elements) {
    QByteArray out("#bundle", 8);
    char tag[8];
    qToBigEndian(timeTag, tag);
    out.append(tag, 8);
    for (const QByteArray &e : elements) {
        char size[4];
        qToBigEndian(qint32(e.size()), size);
        out.append(size, 4).append(e);
    }
    return out;
}

// A received message: its address, type tags and first argument.
struct Decoded {
    QByteArray path;
    QByteArray types;
    QVariant first;
};

Decoded decode(const QByteArray &packet) {
    Decoded d;
    QByteArray bytes = packet;
    lo_message m = lo_message_deserialise(bytes.data(), size_t(bytes.size()), nullptr);
    if (!m) return d;
    d.path = QByteArray(bytes.constData());
    d.types = lo_message_get_types(m);
    const char type = d.types.isEmpty() ? 0 : d.types[0];
    const lo_arg *a = type ? lo_message_get_argv(m)[0] : nullptr;
    if (type == 'i') d.first = a->i;
    if (type == 'h') d.first = qint64(a->h);
    if (type == 's') d.first = QString::fromUtf8(&a->s);
    lo_message_free(m);
    return d;
}

// A client on its own loopback port.
struct Client {
    QUdpSocket socket;
    quint16 server = 0;

    explicit Client(quint16 serverPort) : server(serverPort) { socket.bind(QHostAddress::LocalHost, 0); }
    void send(const QByteArray &packet) { socket.writeDatagram(packet, QHostAddress::LocalHost, server); }
    // The next datagram, or a default Decoded when none comes within timeoutMs.
    Decoded next(int timeoutMs = 3000) {
        if (!QTest::qWaitFor([&] { return socket.hasPendingDatagrams(); }, timeoutMs)) return {};
        return decode(socket.receiveDatagram().data());
    }
    // Lets the server work for a while and says whether anything arrived.
    bool quietFor(int ms) {
        QTest::qWait(ms);
        return !socket.hasPendingDatagrams();
    }
};

} // namespace

class TestRemoteOsc : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readsRequests_data();
    void readsRequests();
    void dropsPackets_data();
    void dropsPackets();
    void writesValuesByType();
    void allowsSenders();

    void setAndGetRoundTrip();
    void subscriptionsFollowChangesUntilEndOrSilence();
    void droppedDatagramsSendNothing();

  private:
    OxsSim::ScalerSimulator m_sim{33};
    std::unique_ptr<TOrlan_d> m_driver;
    std::unique_ptr<RemoteService> m_service;
    std::unique_ptr<OscServer> m_server;
    qint64 m_now = 0;
};

void TestRemoteOsc::initTestCase() {
    QVERIFY(m_sim.startTcp(0) != 0);
    m_driver = std::make_unique<TOrlan_d>();
    linkOverLoopbackTcp(*m_driver, m_sim.tcpPort());
    m_service = std::make_unique<RemoteService>(*m_driver);
    QTRY_VERIFY_WITH_TIMEOUT(m_driver->Ready(), 8000);
}

void TestRemoteOsc::init() {
    m_server = std::make_unique<OscServer>(*m_service);
    m_server->setClock([this] { return m_now; });
    QString why;
    QVERIFY2(m_server->listen(QHostAddress::LocalHost, 0, {}, &why), qPrintable(why));
    QVERIFY(m_server->port() != 0);
}

void TestRemoteOsc::cleanup() {
    m_server.reset();
}

void TestRemoteOsc::readsRequests_data() {
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<bool>("refused"); // a set answered with an error

    const int set = int(OscRequest::Kind::Set), get = int(OscRequest::Kind::Get);
    const QJsonValue none;
    QTest::newRow("i") << osc("/oxs/set/HPOS", {120}) << set << "HPOS" << QJsonValue(120) << false;
    QTest::newRow("h") << osc("/oxs/set/VERK", {4294967295LL}) << set << "VERK" << QJsonValue(4294967295.0)
                       << false;
    QTest::newRow("h beyond a double stays exact as text")
        << osc("/oxs/set/HPOS", {9007199254740993LL}) << set << "HPOS"
        << QJsonValue(QStringLiteral("9007199254740993")) << false;
    QTest::newRow("f integral") << osc("/oxs/set/hpos", {7.0f}) << set << "hpos" << QJsonValue(7) << false;
    QTest::newRow("d fraction") << osc("/oxs/set/HPOS", {1.5}) << set << "HPOS" << none << true;
    QTest::newRow("f infinite") << osc("/oxs/set/HPOS", {std::numeric_limits<float>::infinity()}) << set
                                << "HPOS" << none << true;
    QTest::newRow("s") << osc("/oxs/set/LOCAL_IP", {QStringLiteral("10.0.0.9")}) << set << "LOCAL_IP"
                       << QJsonValue(QStringLiteral("10.0.0.9")) << false;
    QTest::newRow("T") << osc("/oxs/set/OBLACK", {true}) << set << "OBLACK" << QJsonValue(true) << false;
    QTest::newRow("no argument") << osc("/oxs/set/HPOS") << set << "HPOS" << none << true;
    QTest::newRow("two arguments") << osc("/oxs/set/HPOS", {1, 2}) << set << "HPOS" << none << true;
    QTest::newRow("nil") << osc("/oxs/set/HPOS", {QVariant()}) << set << "HPOS" << none << true;
    QTest::newRow("get ignores arguments") << osc("/oxs/get/HPOS", {1}) << get << "HPOS" << none << false;
    QTest::newRow("subscribe") << osc("/oxs/subscribe") << int(OscRequest::Kind::Subscribe) << "" << none
                               << false;
}

void TestRemoteOsc::readsRequests() {
    QFETCH(QByteArray, packet);
    QFETCH(int, kind);
    QFETCH(QString, name);
    QFETCH(QJsonValue, value);
    QFETCH(bool, refused);
    QList<OscRequest> requests;
    QString why;
    QVERIFY2(readOscPacket(packet, requests, &why), qPrintable(why));
    QCOMPARE(requests.size(), 1);
    QCOMPARE(int(requests[0].kind), kind);
    QCOMPARE(requests[0].name, name);
    QCOMPARE(!requests[0].refusal.isEmpty(), refused);
    if (!refused) QCOMPARE(requests[0].value, value);

    // The same message in a bundle meant for at once.
    requests.clear();
    QVERIFY(readOscPacket(bundle(1, {packet, osc("/oxs/get/VPOS")}), requests, &why));
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].name, name);
    QCOMPARE(requests[1].name, QStringLiteral("VPOS"));
}

void TestRemoteOsc::dropsPackets_data() {
    QTest::addColumn<QByteArray>("packet");
    const QByteArray get = osc("/oxs/get/HPOS");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("cut short") << get.left(get.size() - 4);
    QTest::newRow("no type tags") << QByteArray("/oxs/get/HPOS\0\0\0", 16);
    QTest::newRow("other address") << osc("/oxs/reboot");
    QTest::newRow("no name") << osc("/oxs/get/");
    QTest::newRow("pattern") << osc("/oxs/get/H*");
    QTest::newRow("deeper") << osc("/oxs/set/HPOS/x", {1});
    QTest::newRow("bundle for later") << bundle(0x0123456789ULL, {get});
    QTest::newRow("nested bundle") << bundle(1, {bundle(1, {get})});
    QTest::newRow("bundle element too long") << bundle(1, {get}).left(16 + 4 + get.size() - 4);
    QTest::newRow("empty bundle") << bundle(1, {});
    QTest::newRow("over 64 KiB") << osc("/oxs/set/HPOS", {QString(kMaxOscPacketBytes, QLatin1Char('x'))});
}

void TestRemoteOsc::dropsPackets() {
    QFETCH(QByteArray, packet);
    QList<OscRequest> requests;
    QString why;
    QVERIFY(!readOscPacket(packet, requests, &why));
    QVERIFY(requests.isEmpty());
    QVERIFY(!why.isEmpty());
}

void TestRemoteOsc::writesValuesByType() {
    const Decoded small = decode(oscValueMessage("HPOS", 128));
    QCOMPARE(small.path, QByteArray("/oxs/value/HPOS"));
    QCOMPARE(small.types + small.first.toByteArray(), QByteArray("i128"));
    QCOMPARE(decode(oscValueMessage("COLOR", -5)).first.toInt(), -5);
    const Decoded large = decode(oscValueMessage("VERK", 4294967295.0));
    QCOMPARE(large.types + large.first.toByteArray(), QByteArray("h4294967295"));
    const Decoded on = decode(oscValueMessage("OBLACK", true));
    QCOMPARE(on.types + on.first.toByteArray(), QByteArray("i1"));
    QCOMPARE(decode(oscValueMessage("LOCAL_IP", QStringLiteral("10.0.0.9"))).types, QByteArray("s"));
    QCOMPARE(decode(oscValueMessage("HPOS", QJsonValue())).types, QByteArray("N"));
    const Decoded error = decode(oscErrorMessage("HPOS", QStringLiteral("no scaler")));
    QCOMPARE(error.path + ' ' + error.types + ' ' + error.first.toByteArray(),
             QByteArray("/oxs/error/HPOS s no scaler"));
}

void TestRemoteOsc::allowsSenders() {
    const QList<QHostAddress> listed{QHostAddress("192.168.1.20"), QHostAddress("fd00::7")};
    QVERIFY(oscSenderAllowed(QHostAddress("127.0.0.5"), {}));
    QVERIFY(oscSenderAllowed(QHostAddress("::1"), {}));
    QVERIFY(oscSenderAllowed(QHostAddress("::ffff:127.0.0.1"), {}));
    QVERIFY(oscSenderAllowed(QHostAddress("::ffff:192.168.1.20"), listed));
    QVERIFY(oscSenderAllowed(QHostAddress("fd00::7"), listed));
    QVERIFY(!oscSenderAllowed(QHostAddress("192.168.1.21"), listed));
    QVERIFY(!oscSenderAllowed(QHostAddress(), listed));
    QVERIFY(!oscSenderAllowed(QHostAddress("127.0.0.1"), listed, false));
}

void TestRemoteOsc::setAndGetRoundTrip() {
    Client client(m_server->port());
    client.send(osc("/oxs/set/hpos", {120}));
    Decoded d = client.next();
    QCOMPARE(d.path, QByteArray("/oxs/value/HPOS")); // the canonical spelling
    QCOMPARE(d.types, QByteArray("i"));
    QCOMPARE(d.first.toInt(), 120);
    QCOMPARE(m_sim.value(VAR_HPOS), 120u);

    m_sim.setReported(VAR_HPOS, 128);
    QTRY_COMPARE(m_driver->HPOS(), 128u);
    client.send(osc("/oxs/get/HPOS"));
    d = client.next();
    QCOMPARE(d.path, QByteArray("/oxs/value/HPOS"));
    QCOMPARE(d.first.toInt(), 128);

    client.send(osc("/oxs/set/OBLACK", {true}));
    d = client.next();
    QCOMPARE(d.path, QByteArray("/oxs/value/OBLACK"));
    QCOMPARE(d.first.toInt(), 1);
    QCOMPARE(m_sim.value(VAR_OBLACK), 1u);

    // Refusals answer with the reason and send nothing to the scaler.
    m_sim.clearCommandLog();
    const QList<QByteArray> refused{
        osc("/oxs/set/HPOS", {300}), osc("/oxs/set/HPOS", {1.5}), osc("/oxs/set/IFDM", {1}),
        osc("/oxs/set/NOSUCH", {1}), osc("/oxs/get/NOSUCH"),
    };
    for (const QByteArray &packet : refused) {
        client.send(packet);
        d = client.next();
        QVERIFY2(d.path.startsWith("/oxs/error/"), d.path.constData());
        QCOMPARE(d.types, QByteArray("s"));
        QVERIFY(!d.first.toString().isEmpty());
    }
    QCOMPARE(m_sim.commandCount(), 0);
}

void TestRemoteOsc::subscriptionsFollowChangesUntilEndOrSilence() {
    Client subscriber(m_server->port()), bystander(m_server->port());
    QSignalSpy clients(m_server.get(), &OscServer::clientsChanged);
    subscriber.send(osc("/oxs/subscribe"));
    QTRY_COMPARE(m_server->subscriberCount(), 1);
    subscriber.send(osc("/oxs/subscribe")); // once only
    bystander.send(osc("/oxs/get/HPOS"));
    QVERIFY(bystander.next().path.startsWith("/oxs/value/"));
    QCOMPARE(m_server->subscriberCount(), 1);

    const quint32 ifd = m_sim.value(VAR_IFDM) + 1;
    m_sim.setReported(VAR_IFDM, ifd);
    Decoded d = subscriber.next();
    QCOMPARE(d.path, QByteArray("/oxs/value/IFDM"));
    QCOMPARE(d.first.toLongLong(), qint64(ifd));
    QVERIFY(bystander.quietFor(50));

    subscriber.send(osc("/oxs/unsubscribe"));
    QTRY_COMPARE(m_server->subscriberCount(), 0);
    m_sim.setReported(VAR_IFDM, ifd + 1);
    QTRY_COMPARE(m_driver->IFDM(), ifd + 1);
    QVERIFY(subscriber.quietFor(50));
    QCOMPARE(clients.count(), 2);

    // Ten minutes of silence end a subscription; any message from the subscriber starts them again.
    subscriber.send(osc("/oxs/subscribe"));
    QTRY_COMPARE(m_server->subscriberCount(), 1);
    m_now += OscServer::kSubscriptionMs - 1;
    subscriber.send(osc("/oxs/get/HPOS"));
    QVERIFY(subscriber.next().path.startsWith("/oxs/value/"));
    m_now += OscServer::kSubscriptionMs - 1;
    m_server->expireIdle();
    QCOMPARE(m_server->subscriberCount(), 1);
    m_now += 1;
    m_server->expireIdle();
    QCOMPARE(m_server->subscriberCount(), 0);
    m_sim.setReported(VAR_IFDM, ifd + 2);
    QTRY_COMPARE(m_driver->IFDM(), ifd + 2);
    QVERIFY(subscriber.quietFor(50));
}

void TestRemoteOsc::droppedDatagramsSendNothing() {
    Client client(m_server->port());
    const QByteArray set = osc("/oxs/set/HPOS", {60});
    m_sim.clearCommandLog();
    for (const QByteArray &packet :
         {QByteArray("\0\0\0\0", 4), set.left(set.size() - 4), osc("/oxs/set/HP*", {60}), bundle(2, {set}),
          bundle(1, {bundle(1, {set})}), QByteArray(60000, '/')})
        client.send(packet);
    QVERIFY(client.quietFor(200));

    // A sender off the allowed list is not answered either, whatever it sends.
    m_server->setTrustLoopback(false);
    client.send(set);
    client.send(osc("/oxs/subscribe"));
    QVERIFY(client.quietFor(200));
    QCOMPARE(m_server->subscriberCount(), 0);
    QCOMPARE(m_sim.commandCount(), 0);

    QString why;
    QVERIFY(m_server->listen(QHostAddress::LocalHost, 0, {QHostAddress::LocalHost}, &why));
    Client listed(m_server->port());
    listed.send(set);
    QCOMPARE(listed.next().first.toInt(), 60);
}

QTEST_GUILESS_MAIN(TestRemoteOsc)
#include "tst_remote_osc.moc"
