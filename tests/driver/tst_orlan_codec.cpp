// The text protocol: commands built by setters, framing and matching of replies, storing and events.
#include "DriverFixture.h"
#include "IntegerLiteral.h"
#include "Prompts.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace OrlanVars;

class TestOrlanCodec : public QObject {
    Q_OBJECT
  private slots:
    void settersSendExactBytes();
    void settersSilentWhileDisconnected();
    void generatedSettersAndSetValue();
    void addressSetters_data();
    void addressSetters();
    void portAndNetmaskSetters();
    void identityAndQueryAll();
    void integerLiteral_data();
    void integerLiteral();
    void valueGrammarInMessages_data();
    void valueGrammarInMessages();
    void everyReplyMnemonicReachesItsRow();
    void matchingFallsThroughPrefixes();
    void framingAcrossChunksAndTrim();
    void eventOrderAndReceivedString();
    void booleanKeepsLowByte();
    void perInputArrays();
    void addressOctetsPortsAndNetmask();
    void devRepliesDriveLinkStateAndBusyEvent();
    void rawModeOnSerialOnly();
    void zeroBytesCostOnlyThemselves();
    void networkChunksCutAt8192();
    void entryPointsIgnoreOtherLinks();
    void udpSendFailureClosesAndReports();
    void handlersMayReenterTheDriver();
    void randomStreamsKeepInvariants();
};

void TestOrlanCodec::settersSendExactBytes() {
    DriverFixture f;
    f.connect();
    QStringList sent;
    f.drv->OnSentString = [&](TOrlan_d *d, int32_t) { sent << QString::fromLatin1(d->sentString()); };
    f.drv->SetHPOS(100);
    f.drv->SetOBLACK(true);
    f.drv->SetIFRZM(false);
    f.drv->SetCOLOR(-1);
    f.drv->SetICHNM(0);
    QCOMPARE(f.serial().sent, (QByteArrayList{"100H", "1FO", "0Z", "4294967295O", "0CN"}));
    QCOMPARE(sent, (QStringList{"100H", "1FO", "0Z", "4294967295O", "0CN"}));
    // A setter never stores: the value waits for the scaler's reply.
    QCOMPARE(f.drv->HPOS(), 0u);
    f.drv->SerialReceive("HP100\r\n");
    QCOMPARE(f.drv->HPOS(), 100u);
}

void TestOrlanCodec::settersSilentWhileDisconnected() {
    DriverFixture f;
    f.drv->SetsentString("before");
    int sentEvents = 0;
    f.drv->OnSentString = [&](TOrlan_d *, int32_t) { ++sentEvents; };
    f.drv->SetHPOS(100);
    f.drv->SetLOCAL_IP("10.0.0.1");
    f.drv->SetNETMASK("255.255.255.0");
    f.drv->SetREMOTE_PORT(10500);
    QVERIFY(f.serial().sent.isEmpty());
    QCOMPARE(sentEvents, 0);
    QCOMPARE(f.drv->sentString(), QByteArray("before"));
}

void TestOrlanCodec::generatedSettersAndSetValue() {
    DriverFixture f;
    f.connect();
    // Writable rows send value + their command mnemonic; report-only rows refuse.
    for (const Row &row : kRows) {
        f.serial().sent.clear();
        const bool accepted = f.drv->SetValue(row.index, 7);
        const bool settable = row.access == Access::SET || row.access == Access::WRITEONLY ||
                              row.access == Access::LOCAL || row.index == VAR_NETMASK;
        QVERIFY2(accepted == settable, row.property);
        if (row.access == Access::LOCAL)
            QVERIFY(f.serial().sent.isEmpty());
        else if (accepted)
            QCOMPARE(f.serial().joined(), QByteArray("7") + row.command);
    }
    QCOMPARE(f.drv->DEV(), 7u); // DEV is assigned locally
    QVERIFY(!f.drv->SetValue(-1, 1));
    QVERIFY(!f.drv->SetValue(VAR_COUNT, 1));
    QCOMPARE(f.drv->IP4(), 0u);
}

void TestOrlanCodec::addressSetters_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("valid") << "192.168.0.10" << QByteArray("1na192nw168nx0ny10nz");
    QTest::newRow("zeros") << "0.0.0.0" << QByteArray("1na0nw0nx0ny0nz");
    QTest::newRow("octet 256") << "10.0.0.256" << QByteArray();
    QTest::newRow("three parts") << "10.0.0" << QByteArray();
    QTest::newRow("five parts") << "1.2.3.4.5" << QByteArray();
    QTest::newRow("empty part") << "1..3.4" << QByteArray();
    QTest::newRow("sign") << "+1.2.3.4" << QByteArray();
    QTest::newRow("space") << "1.2.3.4 " << QByteArray();
    QTest::newRow("hex") << "0x1.2.3.4" << QByteArray();
    QTest::newRow("empty") << "" << QByteArray();
}

void TestOrlanCodec::addressSetters() {
    QFETCH(QString, address);
    QFETCH(QByteArray, expected);
    DriverFixture f;
    f.connect();
    f.drv->SetLOCAL_IP(address);
    QCOMPARE(f.serial().joined(), expected);
    if (!expected.isEmpty()) {
        QCOMPARE(f.serial().sent.size(), 5); // five separate commands
        f.serial().sent.clear();
        f.drv->SetGATEWAY_IP(address);
        QCOMPARE(f.serial().sent.first(), QByteArray("3na"));
    }
}

void TestOrlanCodec::portAndNetmaskSetters() {
    DriverFixture f;
    f.connect();
    f.drv->SetLOCAL_PORT(10500);
    f.drv->SetREMOTE_PORT(2000);
    QCOMPARE(f.serial().sent, (QByteArrayList{"1na", "10500np", "2na", "2000np"}));
    f.serial().sent.clear();
    f.drv->SetNETMASK("255.255.255.0");
    f.drv->SetNETMASK("255.255.255.255");
    f.drv->SetNETMASK("0.0.0.0");
    f.drv->SetNETMASK("255.255.0");
    QCOMPARE(f.serial().sent, (QByteArrayList{"8nk", "0nk", "32nk"}));
}

void TestOrlanCodec::identityAndQueryAll() {
    DriverFixture f; // not connected: the identity query goes out anyway
    int sentEvents = 0;
    f.drv->OnSentString = [&](TOrlan_d *, int32_t) { ++sentEvents; };
    f.drv->SendIdentityQuery();
    f.drv->SendQueryAll();
    QCOMPARE(f.serial().sent, (QByteArrayList{"?", "#\r\n"}));
    QCOMPARE(f.drv->sentString(), QByteArray("?"));
    QCOMPARE(sentEvents, 1);
    f.serial().active = false;
    f.drv->SendText("X");
    QCOMPARE(f.serial().sent.size(), 2);
}

void TestOrlanCodec::integerLiteral_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<quint32>("value");
    QTest::newRow("decimal") << QByteArray("100") << true << 100u;
    QTest::newRow("leading zeros") << QByteArray("007") << true << 7u;
    QTest::newRow("spaces") << QByteArray("   7") << true << 7u;
    QTest::newRow("plus") << QByteArray("+7") << true << 7u;
    QTest::newRow("minus") << QByteArray("-1") << true << 4294967295u;
    QTest::newRow("space then minus") << QByteArray(" -2") << true << 4294967294u;
    QTest::newRow("dollar hex") << QByteArray("$fF") << true << 255u;
    QTest::newRow("x hex") << QByteArray("x10") << true << 16u;
    QTest::newRow("X hex") << QByteArray("X1a") << true << 26u;
    QTest::newRow("0x hex") << QByteArray("0x1F") << true << 31u;
    QTest::newRow("0X hex") << QByteArray("0XfF") << true << 255u;
    QTest::newRow("negative hex") << QByteArray("-$10") << true << 4294967280u;
    QTest::newRow("2^32 wraps") << QByteArray("4294967296") << true << 0u;
    QTest::newRow("2^32+5") << QByteArray("4294967301") << true << 5u;
    QTest::newRow("huge") << QByteArray("123456789012345678901234567890") << true
                          << quint32(1312754386u); // low 32 bits of the number
    QTest::newRow("hex 9 digits") << QByteArray("$123456789") << true << 0x23456789u;
    QTest::newRow("trailing space") << QByteArray("7 ") << false << 0u;
    QTest::newRow("only spaces") << QByteArray("  ") << false << 0u;
    QTest::newRow("sign only") << QByteArray("-") << false << 0u;
    QTest::newRow("dollar only") << QByteArray("$") << false << 0u;
    QTest::newRow("0x only") << QByteArray("0x") << false << 0u;
    QTest::newRow("letters") << QByteArray("X") << false << 0u;
    QTest::newRow("bad hex") << QByteArray("$1G") << false << 0u;
    QTest::newRow("decimal with hex digit") << QByteArray("1A") << false << 0u;
    QTest::newRow("double sign") << QByteArray("--1") << false << 0u;
    QTest::newRow("space after sign") << QByteArray("- 1") << false << 0u;
    QTest::newRow("tab") << QByteArray("\t1") << false << 0u;
}

void TestOrlanCodec::integerLiteral() {
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(quint32, value);
    uint32_t parsed = 0xDEADBEEF;
    QCOMPARE(parseIntegerLiteral(text.constData(), std::size_t(text.size()), parsed), ok);
    if (ok) QCOMPARE(parsed, value);
}

void TestOrlanCodec::valueGrammarInMessages_data() {
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("stored");
    QTest::addColumn<quint32>("value");
    QTest::newRow("plain") << QByteArray("HP100") << true << 100u;
    QTest::newRow("bare mnemonic is 0") << QByteArray("HP") << true << 0u;
    QTest::newRow("leading space") << QByteArray("HP 7") << true << 7u;
    QTest::newRow("negative") << QByteArray("HP-1") << true << 4294967295u;
    QTest::newRow("hex") << QByteArray("HP$1F") << true << 31u;
    QTest::newRow("trailing space") << QByteArray("HP7 ") << false << 0u;
    QTest::newRow("letters") << QByteArray("HPX") << false << 0u;
}

void TestOrlanCodec::valueGrammarInMessages() {
    QFETCH(QByteArray, message);
    QFETCH(bool, stored);
    QFETCH(quint32, value);
    DriverFixture f;
    f.drv->SerialReceive("HP55\r\n");
    f.drv->SetreceivedString("unchanged");
    int events = 0;
    f.drv->OnHPOSchange = [&](TOrlan_d *, int32_t) { ++events; };
    f.drv->SerialReceive(message + "\r\n");
    QCOMPARE(events, stored ? 1 : 0);
    QCOMPARE(f.drv->HPOS(), stored ? value : 55u);
    QCOMPARE(f.drv->receivedString(), stored ? message : QByteArray("unchanged"));
}

void TestOrlanCodec::everyReplyMnemonicReachesItsRow() {
    // No earlier mnemonic may shadow a later one: each row's own reply reaches that row.
    DriverFixture f;
    int hit = -1;
    for (const Row &row : kRows) {
        f.drv->SerialReceive("PCH1\r\nADIP1\r\n");
        hit = -1;
        for (const Row &other : kRows)
            if (TOrlanNotifyEvent *ev = f.drv->ChangeEvent(other.index))
                *ev = [&hit, i = other.index](TOrlan_d *, int32_t) { hit = i; };
        f.drv->OnRecString = [&](TOrlan_d *, int32_t) { hit = -2; };
        f.drv->SerialReceive(QByteArray(row.reply) + "9\r\n");
        if (row.hasEvent)
            QVERIFY2(hit == row.index, row.property);
        else
            QVERIFY2(hit == -2, row.property); // matched, no change event of its own
        for (const Row &other : kRows)
            if (TOrlanNotifyEvent *ev = f.drv->ChangeEvent(other.index)) *ev = nullptr;
    }
    QCOMPARE(f.drv->Value(VAR_COUNT), 0u);
}

void TestOrlanCodec::matchingFallsThroughPrefixes() {
    DriverFixture f;
    QStringList changed;
    f.record(f.drv->OnICHMchange, "ICHM");
    f.record(f.drv->OnICHNMchange, "ICHNM");
    f.record(f.drv->OnILDMchange, "ILDM");
    f.record(f.drv->OnILSDMchange, "ILSDM");
    f.drv->SerialReceive("CHN4\r\nCH2\r\nILSD7\r\nILD9\r\n");
    QCOMPARE(f.events, (QStringList{"ICHNM", "ICHM", "ILSDM", "ILDM"}));
    QCOMPARE(f.drv->ICHNM(), 4u);
    QCOMPARE(f.drv->ICHM(), 2u);
    QCOMPARE(f.drv->ILSDM(), 7u);
    QCOMPARE(f.drv->ILDM(), 9u);
    // A message that matches nothing is dropped silently.
    f.events.clear();
    f.drv->SetreceivedString("keep");
    f.drv->SerialReceive("ZZZ1\r\n\r\nCHNX\r\n");
    QVERIFY(f.events.isEmpty());
    QCOMPARE(f.drv->receivedString(), QByteArray("keep"));
}

void TestOrlanCodec::framingAcrossChunksAndTrim() {
    DriverFixture f;
    f.drv->SerialReceive("HP1");
    f.drv->SerialReceive("00\r");
    QCOMPARE(f.drv->HPOS(), 0u);
    f.drv->SerialReceive("\nVP2\r\nHW");
    QCOMPARE(f.drv->HPOS(), 100u);
    QCOMPARE(f.drv->VPOS(), 2u);
    f.drv->SerialReceive("3\r\n");
    QCOMPARE(f.drv->HSIZ(), 3u);

    // Text without a line end keeps only its last twenty characters.
    f.drv->SerialReceive("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    QCOMPARE(f.drv->ReceiveBuffer(), QByteArray("GHIJKLMNOPQRSTUVWXYZ"));

    // The longest replies survive arriving one byte at a time, after garbage.
    f.drv->SerialReceive("\r\n");
    for (const char c :
         QByteArray("xx\r\nDDBG1234567\r\nCOL4294967291\r\nI_305419896\r\nADBG-2147483648\r\n"))
        if (c) f.drv->SerialReceive(QByteArray(1, c));
    QCOMPARE(f.drv->DATADBG(), 1234567u);
    QCOMPARE(f.drv->COLOR(), -5);
    QCOMPARE(f.drv->VERI(), 305419896u);
    QCOMPARE(f.drv->ADDRDBG(), 2147483648u);

    // A split message survives as long as its head is at most twenty characters.
    f.drv->SerialReceive("GARBAGE1234567890123\r\nHP4");
    f.drv->SerialReceive("2\r\n");
    QCOMPARE(f.drv->HPOS(), 42u);
    f.drv->SerialReceive("BRG1234567890123456789");
    f.drv->SerialReceive("9\r\n"); // head grew beyond twenty characters: the mnemonic was trimmed away
    QCOMPARE(f.drv->BRGT(), 0u);
}

void TestOrlanCodec::eventOrderAndReceivedString() {
    DriverFixture f;
    QStringList order;
    f.drv->OnRecString = [&](TOrlan_d *d, int32_t) {
        order << "rec:" + QString::fromLatin1(d->receivedString()) + ":" + QString::number(d->HPOS());
    };
    f.drv->OnHPOSchange = [&](TOrlan_d *d, int32_t tag) {
        order << "hpos:" + QString::number(d->HPOS()) + ":" + QString::number(tag);
    };
    f.drv->SetTag(77);
    f.drv->SerialReceive("HP1\r\nHP1\r\n");
    // The event fires even when the value did not change; the store happens between the two events.
    QCOMPARE(order, (QStringList{"rec:HP1:0", "hpos:1:77", "rec:HP1:1", "hpos:1:77"}));
}

void TestOrlanCodec::booleanKeepsLowByte() {
    DriverFixture f;
    f.drv->SerialReceive("OBLK1\r\n");
    QVERIFY(f.drv->OBLACK());
    f.drv->SerialReceive("OBLK0\r\n");
    QVERIFY(!f.drv->OBLACK());
    f.drv->SerialReceive("OBLK256\r\n");
    QVERIFY(!f.drv->OBLACK());
    QCOMPARE(f.drv->Value(VAR_OBLACK), 0u);
    f.drv->SerialReceive("OBLK$1FF\r\n");
    QCOMPARE(f.drv->Value(VAR_OBLACK), 255u);
}

void TestOrlanCodec::perInputArrays() {
    DriverFixture f;
    f.drv->SerialReceive("PCH3\r\nPEN1\r\nPRGB7\r\nPSTD2\r\nPPRC257\r\n");
    QVERIFY(f.drv->PENA());
    QCOMPARE(f.drv->InputPENA(3), uint8_t(1));
    QCOMPARE(f.drv->InputPRGBI(3), 7u);
    QCOMPARE(f.drv->InputPISTD(3), 2u);
    QCOMPARE(f.drv->InputPPROC(3), uint8_t(1));
    QCOMPARE(f.drv->InputPENA(2), uint8_t(0));
    // Out-of-range indexes read as the documented defaults.
    QCOMPARE(f.drv->InputPENA(7), uint8_t(0));
    QCOMPARE(f.drv->InputPRGBI(7), 5u);
    QCOMPARE(f.drv->InputPRGBI(-1), 5u);
    QCOMPARE(f.drv->InputPISTD(6), 0u);
    // PCHAN above 5 updates the plain property only.
    f.drv->SerialReceive("PCH9\r\nPRGB4\r\n");
    QCOMPARE(f.drv->PRGBI(), 4u);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(f.drv->InputPRGBI(i), i == 3 ? 7u : 0u);
    f.drv->SetInputPRGBI(2, 6);
    f.drv->SetInputPRGBI(9, 6);
    QCOMPARE(f.drv->InputPRGBI(2), 6u);
    QVERIFY(f.serial().sent.isEmpty());
}

void TestOrlanCodec::addressOctetsPortsAndNetmask() {
    DriverFixture f;
    f.drv->SerialReceive("ADIP0\r\nIPA_192\r\n");
    QVERIFY(f.drv->LOCAL_IP().startsWith("192."));
    QVERIFY(f.drv->REMOTE_IP().startsWith("192."));
    QVERIFY(f.drv->GATEWAY_IP().startsWith("192."));
    f.drv->SerialReceive("ADIP2\r\nIPB_168\r\nIPC_1\r\nIPD_300\r\n");
    QCOMPARE(f.drv->REMOTE_IP(), QString("192.168.1.44")); // octets keep their low byte
    QCOMPARE(f.drv->LOCAL_IP(), QString("192.0.0.0"));
    f.drv->SerialReceive("ADIP4\r\nIPA_10\r\n");
    QCOMPARE(f.drv->LOCAL_IP(), QString("192.0.0.0"));

    f.drv->SerialReceive("ADIP2\r\nPORT10500\r\n");
    QCOMPARE(f.drv->REMOTE_PORT(), 10500);
    QCOMPARE(f.drv->LOCAL_PORT(), 0);
    f.drv->SerialReceive("ADIP0\r\nPORT7\r\n");
    QCOMPARE(f.drv->REMOTE_PORT(), 7);
    QCOMPARE(f.drv->LOCAL_PORT(), 7);
    f.drv->SerialReceive("ADIP3\r\nPORT9\r\n");
    QCOMPARE(f.drv->LOCAL_PORT(), 7);

    const QList<QPair<QByteArray, QString>> masks = {
        {"NTMK8", "255.255.255.0"}, {"NTMK0", "255.255.255.255"}, {"NTMK-3", "255.255.255.255"},
        {"NTMK32", "0.0.0.0"},      {"NTMK40", "0.0.0.0"},        {"NTMK31", "128.0.0.0"},
        {"NTMK12", "255.255.240.0"}};
    int maskEvents = 0;
    f.drv->OnNETMASKchange = [&](TOrlan_d *, int32_t) { ++maskEvents; };
    for (const auto &m : masks) {
        f.drv->SerialReceive(m.first + "\r\n");
        QCOMPARE(f.drv->NETMASK(), m.second);
    }
    QCOMPARE(maskEvents, masks.size());
}

void TestOrlanCodec::devRepliesDriveLinkStateAndBusyEvent() {
    DriverFixture f;
    f.record(f.drv->OnDEVchange, "DEV");
    f.record(f.drv->ONRS232busy, "busy");
    f.drv->StepLink(); // RESET -> PROBE
    f.events.clear();
    f.drv->SerialReceive("DEV33\r\n");
    QCOMPARE(f.drv->LinkState(), LINK_CONNECT);
    QCOMPARE(f.drv->LinkTimerInterval(), 1);
    QCOMPARE(f.events, (QStringList{"DEV", "DEV"}));
    f.events.clear();
    f.drv->SerialReceive("DEV32\r\n"); // previous match was DEV as well
    QCOMPARE(f.events, (QStringList{"DEV", "busy", "DEV"}));
    f.events.clear();
    f.drv->SerialReceive("HP1\r\nDEV32\r\n");
    QCOMPARE(f.events, (QStringList{"DEV", "DEV"}));
    f.events.clear();
    f.drv->SetRS232busy(true);
    f.drv->SerialReceive("HP1\r\nDEV32\r\n");
    QCOMPARE(f.events, (QStringList{"DEV", "busy", "DEV"}));

    // An unknown model code resets the link from any state.
    f.drv->SerialReceive("DEV5\r\n");
    QCOMPARE(f.drv->LinkState(), LINK_RESET);
    QCOMPARE(f.drv->LinkTimerInterval(), 1);
    QCOMPARE(f.drv->DEV(), 5u);

    // A valid reply while waiting after a poll moves back to polling; the watchdog keeps 2000 ms.
    f.connect();
    f.drv->StepLink(); // QUERYALL -> READY
    f.drv->StepLink(); // READY -> POLL
    f.drv->StepLink(); // POLL -> POLLWAIT
    QCOMPARE(f.drv->LinkState(), LINK_POLLWAIT);
    f.drv->SerialReceive("DEV40\r\n");
    QCOMPARE(f.drv->LinkState(), LINK_POLL);
    QCOMPARE(f.drv->LinkTimerInterval(), 2000);
}

void TestOrlanCodec::rawModeOnSerialOnly() {
    DriverFixture f;
    int recData = 0, hpos = 0;
    f.drv->OnRecData = [&](TOrlan_d *, int32_t) { ++recData; };
    f.drv->OnHPOSchange = [&](TOrlan_d *, int32_t) { ++hpos; };
    QByteArray out = "untouched";
    f.drv->ReadRawData(out); // MODE_VAR: nothing happens
    QCOMPARE(out, QByteArray("untouched"));
    f.drv->SetConMode(MODE_RAW);
    f.drv->SerialReceive("HP5\r\n");
    f.drv->SerialReceive(QByteArray("\x1b\x00\xff", 3));
    QCOMPARE(recData, 2);
    QCOMPARE(hpos, 0);
    f.drv->ReadRawData(out);
    QCOMPARE(out, QByteArray("HP5\r\n\x1b\x00\xff", 8));
    f.drv->ReadRawData(out);
    QCOMPARE(out, QByteArray());

    // Left-over raw text is parsed with the next chunk in MODE_VAR.
    f.drv->SerialReceive("HP6\r");
    QCOMPARE(recData, 3);
    f.drv->SetConMode(MODE_VAR);
    f.drv->SerialReceive("\n");
    QCOMPARE(f.drv->HPOS(), 6u);

    // Over the network, raw mode still parses.
    f.drv->SetConType(CON_TCP);
    f.drv->SetConMode(MODE_RAW);
    f.drv->TcpReceive("HP5\r\n");
    QCOMPARE(f.drv->HPOS(), 5u);
    QCOMPARE(recData, 3);
}

// A zero byte is dropped on its own on every link, wherever it falls: inside a reply, between replies,
// at a chunk's edge. Raw mode hands every byte on untouched.
void TestOrlanCodec::zeroBytesCostOnlyThemselves() {
    const QByteArray withZeros("HP1\r\n\0VP\0\0002\r\nHW3\0\r\n\0", 20);
    for (const tConnectionType type : {CON_RS232, CON_UDP, CON_TCP}) {
        DriverFixture f;
        f.drv->SetIpRemoteAddress("127.0.0.1");
        f.drv->SetIpRemotePort(4000);
        f.drv->SetConType(type);
        const auto receive = [&](const QByteArray &data) {
            if (type == CON_RS232) f.drv->SerialReceive(data);
            if (type == CON_UDP) f.drv->UdpReceive(data, "127.0.0.1", 4000);
            if (type == CON_TCP) f.drv->TcpReceive(data);
        };
        QStringList received;
        f.drv->OnRecString = [&](TOrlan_d *d, int32_t) {
            received << QString::fromLatin1(d->receivedString());
        };
        receive(withZeros);
        QCOMPARE(received, (QStringList{"HP1", "VP2", "HW3"}));
        QCOMPARE(f.drv->HPOS(), 1u);
        QCOMPARE(f.drv->VPOS(), 2u);
        QCOMPARE(f.drv->HSIZ(), 3u);
        receive(QByteArray("VP\0", 3));
        receive(QByteArray("\0"
                           "12\r\n",
                           5));
        QCOMPARE(received.last(), QString("VP12"));
        QCOMPARE(f.drv->VPOS(), 12u);
        QVERIFY(f.drv->ReceiveBuffer().isEmpty());
    }
    DriverFixture f;
    f.drv->SetConMode(MODE_RAW);
    QByteArray raw;
    f.drv->OnRecData = [&](TOrlan_d *d, int32_t) { d->ReadRawData(raw); };
    f.drv->SerialReceive(QByteArray("\x1b\0\x1b\x06", 4));
    QCOMPARE(raw, QByteArray("\x1b\0\x1b\x06", 4));
}

void TestOrlanCodec::networkChunksCutAt8192() {
    DriverFixture f;
    f.drv->SetConType(CON_TCP);
    f.drv->TcpReceive("HP1\r\n");
    QByteArray big(8190, 'x');
    big += "\r\nHP9\r\n";
    f.drv->TcpReceive(big); // only the first 8192 bytes count: the second message is cut off
    QCOMPARE(f.drv->HPOS(), 1u);

    f.drv->SetIpRemoteAddress("127.0.0.1");
    f.drv->SetIpRemotePort(4000);
    f.drv->SetConType(CON_UDP);
    f.drv->UdpReceive(big, "127.0.0.1", 4000);
    QCOMPARE(f.drv->HPOS(), 1u);
    f.drv->UdpReceive("HP3\r\n", "127.0.0.1", 4000);
    QCOMPARE(f.drv->HPOS(), 3u);
}

void TestOrlanCodec::entryPointsIgnoreOtherLinks() {
    DriverFixture f;
    f.drv->SetIpRemoteAddress("127.0.0.1");
    f.drv->SetIpRemotePort(4000);
    f.drv->TcpReceive("HP1\r\n");
    f.drv->UdpReceive("HP1\r\n", "127.0.0.1", 4000);
    QCOMPARE(f.drv->HPOS(), 0u);
    f.drv->SetConType(CON_UDP);
    f.drv->SerialReceive("HP2\r\n");
    f.drv->UdpReceive("HP3\r\n", "127.0.0.2", 4000);
    f.drv->UdpReceive("HP4\r\n", "127.0.0.1", 4001);
    f.drv->UdpReceive("HP5\r\n", "::ffff:127.0.0.1", 4000);
    QCOMPARE(f.drv->HPOS(), 0u);
    f.drv->UdpReceive("HP6\r\n", "127.0.0.1", 4000);
    QCOMPARE(f.drv->HPOS(), 6u);
}

void TestOrlanCodec::udpSendFailureClosesAndReports() {
    auto prompts = std::make_unique<RecordingPrompts>();
    RecordingPrompts *asked = prompts.get();
    Prompts::install(std::move(prompts));
    DriverFixture f;
    f.drv->SetConType(CON_UDP);
    QVERIFY(f.links[CON_UDP].active);
    f.links[CON_UDP].failSends = true;
    f.drv->StepLink(); // RESET -> PROBE
    f.drv->StepLink(); // PROBE sends "?"
    QCOMPARE(asked->messages(), QStringList{"Network unreachable"});
    QVERIFY(!f.links[CON_UDP].active);
    QCOMPARE(f.drv->LinkState(), LINK_RESET);
    f.drv->StepLink();
    f.drv->StepLink(); // inactive now: nothing sent, nothing shown
    QCOMPARE(asked->messages().size(), 1);
    Prompts::install(nullptr);
}

void TestOrlanCodec::handlersMayReenterTheDriver() {
    DriverFixture f;
    f.connect();
    // A handler that sends, feeds more data in and reads the buffer must not break the running parse.
    f.drv->OnHPOSchange = [&](TOrlan_d *d, int32_t) {
        d->SetVPOS(d->HPOS());
        if (d->HPOS() == 1) d->SerialReceive("HP2\r\n");
    };
    f.drv->SerialReceive("HP1\r\nHW5\r\n");
    QCOMPARE(f.drv->HPOS(), 2u);
    QCOMPARE(f.drv->HSIZ(), 5u);
    QCOMPARE(f.serial().sent, (QByteArrayList{"1V", "2V"}));

    f.drv->OnHPOSchange = [&](TOrlan_d *d, int32_t) {
        d->SetConMode(MODE_RAW);
        QByteArray rest;
        d->ReadRawData(rest);
        QCOMPARE(rest, QByteArray("VP3\r\n"));
        d->SetConMode(MODE_VAR);
    };
    f.drv->SerialReceive("HP7\r\nVP3\r\n");
    QCOMPARE(f.drv->VPOS(), 0u);

    // An exception thrown out of a handler leaves the parser usable.
    f.drv->OnHPOSchange = [](TOrlan_d *, int32_t) { throw std::runtime_error("handler failed"); };
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, f.drv->SerialReceive("HP8\r\nVP4\r\n"));
    f.drv->OnHPOSchange = nullptr;
    f.drv->SerialReceive("HW6\r\n");
    QCOMPARE(f.drv->HSIZ(), 6u);
}

void TestOrlanCodec::randomStreamsKeepInvariants() {
    // Long random streams through every entry point: values an event reports are the values just parsed,
    // and the buffer never holds more than twenty characters without a line end.
    QRandomGenerator rng(20261208);
    const QByteArray alphabet = "0123456789 +-$xX\r\n\r\nHPVWCHNDEVPENPCHADIPIPA_NTMK#?\0\xff";
    for (int link = 0; link < 3; ++link) {
        DriverFixture f;
        f.drv->SetIpRemoteAddress("127.0.0.1");
        f.drv->SetIpRemotePort(1);
        f.drv->SetConType(static_cast<tConnectionType>(link));
        int checked = 0;
        f.drv->OnRecString = [&](TOrlan_d *d, int32_t) {
            const QByteArray msg = d->receivedString();
            QVERIFY(!msg.contains("\r\n"));
            ++checked;
        };
        f.drv->OnHPOSchange = [&](TOrlan_d *d, int32_t) {
            uint32_t v = 0;
            const QByteArray msg = d->receivedString();
            QVERIFY(msg.startsWith("HP"));
            QVERIFY(msg.size() == 2 ||
                    parseIntegerLiteral(msg.constData() + 2, std::size_t(msg.size() - 2), v));
            QCOMPARE(d->HPOS(), msg.size() == 2 ? 0u : v);
        };
        for (int round = 0; round < 3000; ++round) {
            QByteArray chunk;
            const int len = rng.bounded(1, 40);
            for (int i = 0; i < len; ++i)
                chunk +=
                    rng.bounded(4) == 0 ? char(rng.bounded(256)) : alphabet[rng.bounded(alphabet.size())];
            if (rng.bounded(5) == 0) chunk += "\r\nHP" + QByteArray::number(rng.generate()) + "\r\n";
            switch (link) {
            case CON_RS232:
                f.drv->SerialReceive(chunk);
                break;
            case CON_UDP:
                f.drv->UdpReceive(chunk, "127.0.0.1", 1);
                break;
            default:
                f.drv->TcpReceive(chunk);
                break;
            }
            const QByteArray rest = f.drv->ReceiveBuffer();
            QVERIFY2(rest.size() <= TOrlan_d::kTrimLength && !rest.contains("\r\n"),
                     rest.toHex().constData());
        }
        QVERIFY(checked > 100);
    }
}

QTEST_GUILESS_MAIN(TestOrlanCodec)
#include "tst_orlan_codec.moc"
