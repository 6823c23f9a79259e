// The driver against the scaler simulator on real links: pseudo-terminal, UDP and TCP on loopback.
// Real-time: the three links are exercised side by side so the link's 2-second steps are waited once.
#include "Orlan_d.h"
#include "ResettingPeer.h"
#include "ScalerSimulator.h"

#include <QUdpSocket>
#include <QtTest>

#include <memory>

using namespace OrlanVars;

namespace {

quint16 freeUdpPort() {
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

// A driver on one link with counters for the link events.
struct Host {
    std::unique_ptr<TOrlan_d> drv = std::make_unique<TOrlan_d>();
    int connectedEvents = 0, readyEvents = 0, devEvents = 0;

    Host() {
        drv->OnConnected = [this](TOrlan_d *, int32_t) { ++connectedEvents; };
        drv->OnReady = [this](TOrlan_d *, int32_t) { ++readyEvents; };
        drv->OnDEVchange = [this](TOrlan_d *, int32_t) { ++devEvents; };
    }
    void resetCounts() { connectedEvents = readyEvents = devEvents = 0; }
    // Skips the 3 s start-up wait and probes at once, as the first timer steps would.
    void probeNow() {
        drv->StepLink();
        drv->StepLink();
    }
};

void useUdp(Host &h, OxsSim::ScalerSimulator &sim) {
    h.drv->SetIpRemoteAddress("127.0.0.1");
    h.drv->SetIpRemotePort(sim.udpPort());
    h.drv->SetIpLocalPort(freeUdpPort());
    h.drv->SetConType(CON_UDP);
}

void useTcp(Host &h, OxsSim::ScalerSimulator &sim) {
    h.drv->SetIpRemoteAddress("127.0.0.1");
    h.drv->SetIpRemotePort(sim.tcpPort());
    h.drv->SetConType(CON_TCP);
}

// Serves TCP with the given faults and returns once the host's connection is up and probed.
bool probeOverTcp(Host &h, OxsSim::ScalerSimulator &sim, const OxsSim::FaultSettings &faults) {
    sim.setFaults(faults);
    if (sim.startTcp(0) == 0) return false;
    useTcp(h, sim);
    if (!QTest::qWaitFor([&] { return h.drv->Link(CON_TCP).IsActive(); }, 2000)) return false;
    h.probeNow();
    return true;
}

} // namespace

class TestLinkEndToEnd : public QObject {
    Q_OBJECT
  private slots:
    void detectSetLoseAndFindAgainOnEveryLink();
    void wrongModelNeverConnects();
    void datagramsFromStrangersIgnored();
    void garbageAndChunkedRepliesStillConnect();
    void tcpRefusedRetriesAtAPause();
    void longRepliesOneByteAtATime();
    void liveReportsDoNotHoldBackTheSteps();
    void tcpAcceptAndResetRetriesAtAPause();
    void tcpNamesWhyItFailed();
    void addressesWithLeadingZerosAreDecimal();
    void zeroBytesInNetworkChunksCostOnlyThemselves();
};

void TestLinkEndToEnd::detectSetLoseAndFindAgainOnEveryLink() {
    OxsSim::ScalerSimulator sim(33);
    QString error;
    QVERIFY(sim.startTcp(0, QHostAddress::LocalHost, &error) != 0);
    QVERIFY(sim.startUdp(0, QHostAddress::LocalHost, &error) != 0);
    const QString pty = sim.startPty(&error);
    QVERIFY2(!pty.isEmpty(), qPrintable(error));

    Host serial, udp, tcp;
    serial.drv->SetPort(pty);
    QCOMPARE(serial.drv->Port(), pty);
    useUdp(udp, sim);
    useTcp(tcp, sim);
    QTRY_VERIFY_WITH_TIMEOUT(tcp.drv->Link(CON_TCP).IsActive(), 2000);
    Host *hosts[] = {&serial, &udp, &tcp};
    for (Host *h : hosts)
        h->probeNow();

    for (Host *h : hosts) {
        QTRY_VERIFY_WITH_TIMEOUT(h->drv->Connected(), 1000);
        QCOMPARE(h->drv->DEV(), 33u);
    }
    // The dump follows 2 s after the answer; Ready 2 s after its end.
    for (Host *h : hosts) {
        QTRY_VERIFY_WITH_TIMEOUT(h->drv->Ready(), 7000);
        QCOMPARE(h->drv->ICHM(), sim.value(VAR_ICHM));
        QCOMPARE(h->drv->UNITy(), sim.value(VAR_UNITy));
        QCOMPARE(h->drv->InputPRGBI(5), 7u); // the Plus's computer input, through PCH
    }
    QCOMPARE(tcp.drv->LOCAL_IP(), QString("192.168.0.10"));

    // A setter and its confirmed reply.
    for (Host *h : hosts) {
        int confirmations = 0;
        h->drv->OnHPOSchange = [&confirmations](TOrlan_d *, int32_t) { ++confirmations; };
        h->drv->SetHPOS(77);
        QTRY_COMPARE_WITH_TIMEOUT(h->drv->HPOS(), 77u, 1000);
        QCOMPARE(confirmations, 1);
        h->drv->OnHPOSchange = nullptr;
    }

    // Loss: the scaler falls silent; each link event is raised once and the values are kept.
    for (Host *h : hosts)
        h->resetCounts();
    OxsSim::FaultSettings faults;
    faults.dropAfterSec = 0;
    faults.dropForSec = 5.5;
    sim.setFaults(faults);
    for (Host *h : hosts) {
        QTRY_VERIFY_WITH_TIMEOUT(!h->drv->Connected(), 6000);
        QVERIFY(!h->drv->Ready());
        QCOMPARE(h->drv->DEV(), 0u);
        QCOMPARE(h->connectedEvents, 1);
        QCOMPARE(h->readyEvents, 1);
        QCOMPARE(h->devEvents, 1);
        QCOMPARE(h->drv->HPOS(), 77u);
    }
    // Found again when it answers again.
    for (Host *h : hosts)
        QTRY_VERIFY_WITH_TIMEOUT(h->drv->Connected(), 8000);
}

void TestLinkEndToEnd::wrongModelNeverConnects() {
    OxsSim::ScalerSimulator sim(33);
    OxsSim::FaultSettings faults;
    faults.modelCode = 12;
    Host h;
    // The wrong code stands only until the reset it causes, a millisecond later: its events are counted.
    int wrongAnswers = 0;
    uint32_t shown = 0;
    bool everConnected = false;
    h.drv->OnDEVchange = [&](TOrlan_d *, int32_t) {
        wrongAnswers += h.drv->DEV() == 12u && shown != 12u;
        shown = h.drv->DEV();
    };
    h.drv->OnConnected = [&](TOrlan_d *, int32_t) { everConnected = everConnected || h.drv->Connected(); };
    QVERIFY(probeOverTcp(h, sim, faults));
    // The answer, the reset, another probe and another wrong answer.
    QTRY_VERIFY_WITH_TIMEOUT(wrongAnswers >= 2, 15000);
    QVERIFY(sim.commandLog().count("?") >= 2);
    QVERIFY(!everConnected);
    QVERIFY(!h.drv->Connected());
}

void TestLinkEndToEnd::datagramsFromStrangersIgnored() {
    OxsSim::ScalerSimulator sim(40);
    QVERIFY(sim.startUdp(0) != 0);
    Host h;
    useUdp(h, sim);
    QVERIFY(h.drv->Link(CON_UDP).IsActive());
    int recStrings = 0;
    h.drv->OnRecString = [&](TOrlan_d *, int32_t) { ++recStrings; };

    QUdpSocket stranger;
    QVERIFY(stranger.bind(QHostAddress::LocalHost, 0));
    stranger.writeDatagram("HP55\r\nDEV33\r\n", QHostAddress::LocalHost, quint16(h.drv->IpLocalPort()));
    QTest::qWait(200);
    QCOMPARE(recStrings, 0);
    QCOMPARE(h.drv->HPOS(), 0u);

    h.probeNow();
    QTRY_VERIFY_WITH_TIMEOUT(h.drv->Connected(), 1000);
    QCOMPARE(h.drv->DEV(), 40u);
}

void TestLinkEndToEnd::garbageAndChunkedRepliesStillConnect() {
    OxsSim::ScalerSimulator sim(32);
    OxsSim::FaultSettings faults;
    faults.garbage = true;
    faults.chunked = true;
    faults.seed = 7;
    Host h;
    QVERIFY(probeOverTcp(h, sim, faults));
    QTRY_VERIFY_WITH_TIMEOUT(h.drv->Connected(), 2000);
    QCOMPARE(h.drv->DEV(), 32u);
    h.drv->StepLink(); // query-all now rather than in 2 s
    QTRY_COMPARE_WITH_TIMEOUT(h.drv->IFDM(), sim.value(VAR_IFDM), 3000);
}

void TestLinkEndToEnd::tcpRefusedRetriesAtAPause() {
    // Nobody listens: a refused connect must not turn into a busy reconnect loop.
    quint16 closedPort = 0;
    {
        OxsSim::ScalerSimulator probe;
        closedPort = probe.startTcp(0);
    }
    Host h;
    h.drv->SetIpRemoteAddress("127.0.0.1");
    h.drv->SetIpRemotePort(closedPort);
    h.drv->SetConType(CON_TCP);
    QTest::qWait(2500);
    const int attempts = h.drv->TcpConnectAttempts();
    QVERIFY2(attempts >= 2 && attempts <= 4, qPrintable(QString::number(attempts)));
    QVERIFY(!h.drv->Link(CON_TCP).IsActive());

    // The scaler appears on that port: the next attempt connects.
    OxsSim::ScalerSimulator sim(33);
    QVERIFY(sim.startTcp(closedPort) == closedPort);
    QTRY_VERIFY_WITH_TIMEOUT(h.drv->Link(CON_TCP).IsActive(), 2500);
}

// A serial line delivers a byte or a few at a time: the longest replies must still be read whole.
void TestLinkEndToEnd::longRepliesOneByteAtATime() {
    OxsSim::ScalerSimulator sim(33);
    sim.state().useLongValues();
    OxsSim::FaultSettings faults;
    faults.chunked = true;
    faults.chunkMaxBytes = 1;
    faults.chunkMaxDelayMs = 0;
    sim.setFaults(faults);
    QString error;
    const QString pty = sim.startPty(&error);
    QVERIFY2(!pty.isEmpty(), qPrintable(error));
    Host h;
    h.drv->SetLinkPacing(TLinkPacing::Fast());
    h.drv->SetPort(pty);
    QTRY_VERIFY_WITH_TIMEOUT(h.drv->Ready(), 8000);
    QCOMPARE(h.drv->VERI(), 305419896u);
    QCOMPARE(h.drv->VERK(), 4294967295u);
    QCOMPARE(h.drv->COLOR(), -5);
    QCOMPARE(h.drv->DATADBG(), sim.state().debugRegister(0));
    h.drv->SetADDRDBG(9);
    QTRY_COMPARE_WITH_TIMEOUT(h.drv->DATADBG(), 4000000009u, 2000);
}

// A scaler that reports a measurement more often than the steps' pauses is still asked who it is, asked for
// every value, and done answering once nothing new comes: repeats do not hold the steps back.
void TestLinkEndToEnd::liveReportsDoNotHoldBackTheSteps() {
    OxsSim::ScalerSimulator sim(33);
    OxsSim::FaultSettings faults;
    faults.streamMs = 20;
    sim.setFaults(faults);
    QString error;
    const QString pty = sim.startPty(&error);
    QVERIFY2(!pty.isEmpty(), qPrintable(error));
    Host h;
    // The window's order of steps, at a tenth of its pauses; the stream repeats faster than any of them.
    h.drv->SetLinkPacing({1, 200, 200, 200, 200, false});
    h.drv->SetPort(pty);
    QTRY_VERIFY_WITH_TIMEOUT(h.drv->Connected(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(h.drv->Ready(), 3000);
    QCOMPARE(h.drv->HPOS(), sim.state().value(VAR_HPOS));
}

void TestLinkEndToEnd::tcpAcceptAndResetRetriesAtAPause() {
    OxsSim::ResettingPeer peer;
    QVERIFY(peer.port() != 0);
    Host h;
    h.drv->SetIpRemoteAddress("127.0.0.1");
    h.drv->SetIpRemotePort(peer.port());
    h.drv->SetConType(CON_TCP);
    QTest::qWait(3000);
    // About one connect a second: the first at once, then one after each 1 s pause.
    QVERIFY2(peer.accepted() >= 2 && peer.accepted() <= 5, qPrintable(QString::number(peer.accepted())));
    QCOMPARE(h.drv->TcpConnectAttempts(), peer.accepted());
    QVERIFY(!h.drv->Connected());
}

void TestLinkEndToEnd::tcpNamesWhyItFailed() {
    quint16 closedPort = 0;
    {
        OxsSim::ScalerSimulator probe;
        closedPort = probe.startTcp(0);
    }
    Host refused;
    refused.drv->SetIpRemoteAddress("127.0.0.1");
    refused.drv->SetIpRemotePort(closedPort);
    refused.drv->SetConType(CON_TCP);
    Host unknown;
    unknown.drv->SetIpRemoteAddress("bad..host");
    unknown.drv->SetConType(CON_TCP);
    QTRY_COMPARE_WITH_TIMEOUT(refused.drv->Link(CON_TCP).ErrorString(), QString("connection refused"), 1000);
    QTRY_COMPARE_WITH_TIMEOUT(unknown.drv->Link(CON_TCP).ErrorString(), QString("host not found"), 2000);
}

// "127.000.000.010" is 127.0.0.10 (read as octal it would be 127.0.0.8, where nobody listens).
void TestLinkEndToEnd::addressesWithLeadingZerosAreDecimal() {
    OxsSim::ScalerSimulator sim(40);
    const QHostAddress host(QStringLiteral("127.0.0.10"));
    QVERIFY(sim.startTcp(0, host) != 0);
    QVERIFY(sim.startUdp(0, host) != 0);
    Host tcp, udp;
    for (Host *h : {&tcp, &udp}) {
        h->drv->SetLinkPacing(TLinkPacing::Fast());
        h->drv->SetIpRemoteAddress("127.000.000.010");
    }
    tcp.drv->SetIpRemotePort(sim.tcpPort());
    tcp.drv->SetConType(CON_TCP);
    udp.drv->SetIpRemotePort(sim.udpPort());
    udp.drv->SetIpLocalPort(freeUdpPort());
    udp.drv->SetConType(CON_UDP);
    QTRY_VERIFY_WITH_TIMEOUT(tcp.drv->Connected(), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(udp.drv->Connected(), 2000);
    QCOMPARE(udp.drv->DEV(), 40u);
}

// A scaler that puts a zero byte inside its network chunks (between lines and before them): every value of
// the dump and every confirmation still arrives, on UDP and on TCP.
void TestLinkEndToEnd::zeroBytesInNetworkChunksCostOnlyThemselves() {
    OxsSim::ScalerSimulator sim(33);
    OxsSim::FaultSettings faults;
    faults.nulInChunk = true;
    sim.setFaults(faults);
    QVERIFY(sim.startTcp(0) != 0);
    QVERIFY(sim.startUdp(0) != 0);
    Host udp, tcp;
    for (Host *h : {&udp, &tcp})
        h->drv->SetLinkPacing(TLinkPacing::Fast());
    useUdp(udp, sim);
    useTcp(tcp, sim);
    QTRY_VERIFY_WITH_TIMEOUT(tcp.drv->Link(CON_TCP).IsActive(), 2000);
    for (Host *h : {&udp, &tcp})
        h->probeNow();
    for (Host *h : {&udp, &tcp}) {
        QTRY_VERIFY_WITH_TIMEOUT(h->drv->Ready(), 5000);
        for (const int row : {VAR_ICHM, VAR_ICHNM, VAR_HPOS, VAR_VPOS, VAR_HSIZ, VAR_VSIZ, VAR_BRGT,
                              VAR_CONTR, VAR_HUE, VAR_OFMTM, VAR_ORATEM, VAR_UNITy, VAR_STBTIME})
            QCOMPARE(h->drv->Value(row), sim.value(row));
        QCOMPARE(h->drv->InputPRGBI(5), 7u);
        QCOMPARE(h->drv->LOCAL_IP(), QString("192.168.0.10"));
    }
    uint32_t value = 30;
    for (Host *h : {&udp, &tcp}) {
        h->drv->SetHPOS(++value);
        h->drv->SetVPOS(++value);
        QTRY_COMPARE_WITH_TIMEOUT(h->drv->VPOS(), value, 1000);
        QCOMPARE(h->drv->HPOS(), value - 1);
    }
}

QTEST_GUILESS_MAIN(TestLinkEndToEnd)
#include "tst_link_e2e.moc"
