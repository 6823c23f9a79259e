// The debug console's logic without its window: value forms, the command buffer, the watch list, the
// text-file pace, what the sender has sent of a command and the button file.
#include "CommandBuffer.h"
#include "CommandProgress.h"
#include "DebugFiles.h"
#include "DebugMnemonics.h"
#include "DebugValues.h"
#include "TestFiles.h"
#include "TextSender.h"
#include "WatchList.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace DebugValues;

class TestDebugLogic : public QObject {
    Q_OBJECT
  private slots:
    void valueForms_data();
    void valueForms();
    void malformedForms();
    void receivedLines_data();
    void receivedLines();
    void commandBuffer_data();
    void commandBuffer();
    void mnemonicList();
    void watchList();
    void pace();
    void splitAndLoad();
    void buttonFileRead();
    void buttonFileBadInput();
    void commandProgress_data();
    void commandProgress();
};

// A value through hexadecimal, dotted binary and back.
void TestDebugLogic::valueForms_data() {
    QTest::addColumn<uint>("value");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("binary");
    // clang-format off
    QTest::newRow("0") << 0u << "0000" << "0000.0000.0000.0000b";
    QTest::newRow("100") << 100u << "0064" << "0000.0000.0110.0100b";
    QTest::newRow("65535") << 65535u << "FFFF" << "1111.1111.1111.1111b";
    QTest::newRow("above 16 bits") << 100000u << "186A0" << "0001.1000.0110.1010.0000b";
    QTest::newRow("32 bits") << 4294967295u << "FFFFFFFF" << "1111.1111.1111.1111.1111.1111.1111.1111b";
    // clang-format on
}

void TestDebugLogic::valueForms() {
    QFETCH(uint, value);
    QFETCH(QString, hex);
    QFETCH(QString, binary);
    QCOMPARE(hexText(value), hex);
    QCOMPARE(hextobin(hex), binary);
    QCOMPARE(binaryValue(binary), std::optional<uint32_t>(value));
    if (binary.size() <= 20) QCOMPARE(bintodec(binary), QString::number(value));
}

void TestDebugLogic::malformedForms() {
    // bintodec takes one to four whole groups only.
    QCOMPARE(bintodec("1010"), QString("0"));
    QCOMPARE(bintodec("1010b"), QString("10"));
    QCOMPARE(bintodec("1000.0000.0001b"), QString("2049"));
    QCOMPARE(bintodec("0001.1000.0110.1010.0000b"), QString("0"));
    // Characters other than digits and upper-case A to F give no bits but keep their ".".
    QCOMPARE(hextobin("0a"), QString("0000.b"));
    QCOMPARE(hextobin(""), QString());
    QCOMPARE(binaryValue("0000.0002.0110.0100b"), std::nullopt);
    QCOMPARE(decimalValue(" 42 "), std::optional<uint32_t>(42));
    QCOMPARE(decimalValue("4294967296"), std::nullopt);
    QCOMPARE(decimalValue("1e3"), std::nullopt);
    QCOMPARE(decimalValue(""), std::nullopt);
    // The bit edits change the low 16 bits; a text that is no dotted binary of four groups is left alone.
    QCOMPARE(binaryValue(*setBit(hextobin("186A0"), kBitPositions[15], true)),
             std::optional<uint32_t>(100001));
    QCOMPARE(setBit("0000.0110.0100b", 1, true), std::nullopt);
    QCOMPARE(setBit("0000.0000.0110.0100b", 5, true), std::nullopt);
}

void TestDebugLogic::receivedLines_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("line");
    // clang-format off
    QTest::newRow("HP100") << "HP100" << "HP100\t 0064h\t 0000.0000.0110.0100b";
    QTest::newRow("digits anywhere") << "IPA_192" << "IPA_192\t 00C0h\t 0000.0000.1100.0000b";
    QTest::newRow("sign in the name") << "HP-1" << "HP-1\t 0001h\t 0000.0000.0000.0001b";
    QTest::newRow("leading zeros") << "HP 000000000000000000007" << "HP 000000000000000000007\t 0007h\t 0000.0000.0000.0111b";
    QTest::newRow("no digit") << "HP" << "HP";
    QTest::newRow("above 32 bits") << "HP99999999999" << "HP99999999999";
    // clang-format on
}

void TestDebugLogic::receivedLines() {
    QFETCH(QString, message);
    QFETCH(QString, line);
    QCOMPARE(receivedLine(message), line);
}

// Keys typed into the command, as the console receives them: the commands sent and what is left.
void TestDebugLogic::commandBuffer_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QString>("left");
    QTest::newRow("100H Enter") << "100H\r" << QStringList{"100H"} << "";
    QTest::newRow("Enter on nothing") << "\r\r" << QStringList{} << "";
    QTest::newRow("Backspace takes spaces before") << "100  H\b" << QStringList{} << "100";
    QTest::newRow("two Backspaces") << "100H\b\b" << QStringList{} << "10";
    QTest::newRow("Backspace on nothing") << "\b100H\r" << QStringList{"100H"} << "";
    QTest::newRow("Backspace down to nothing") << "H\b\bV\r" << QStringList{"V"} << "";
    QTest::newRow("spaces inside stay") << "1 H\r5V" << QStringList{"1 H"} << "5V";
    QTest::newRow("shortcuts are no characters") << "1\x03\x16\x1b\tH\x7f\r" << QStringList{"1H"} << "";
}

void TestDebugLogic::commandBuffer() {
    QFETCH(QString, keys);
    QFETCH(QStringList, sent);
    QFETCH(QString, left);
    CommandBuffer buffer;
    QStringList out;
    for (const QChar c : keys)
        if (const std::optional<QString> command = buffer.type(c)) out << *command;
    QCOMPARE(out, sent);
    QCOMPARE(buffer.text(), left);
}

void TestDebugLogic::mnemonicList() {
    const QStringList lines = DebugMnemonics::lines();
    QCOMPARE(lines.size(), DebugMnemonics::kLines);
    QCOMPARE(lines.at(0), QString("#             #       envoi de toutes les variables"));
    QCOMPARE(lines.at(2), QString(">             DDBG    donnée pointée par ADDRDBG"));
    QVERIFY(lines.contains("fM            FAMD    Mode d'utilisation de la frame alert"));
    QStringList replies;
    for (const QString &line : lines) {
        const DebugMnemonics::Entry e = DebugMnemonics::entryOf(line);
        QVERIFY2(!e.command.isEmpty() && !replies.contains(e.reply) && line.size() > 22, qPrintable(line));
        replies << e.reply;
    }
}

// What the window tests do not reach: DEV's block, "Desactiver reception" and releasing "Disable all".
void TestDebugLogic::watchList() {
    QStringList replies;
    for (const QString &line : DebugMnemonics::lines())
        replies << DebugMnemonics::entryOf(line).reply;
    WatchList w(replies);
    const int dev = w.find("DEV");
    w.setChecked(dev, false);
    QVERIFY(!w.isChecked(dev) && !w.shows("DEV") && w.shows("HP"));
    w.setChecked(dev, true);
    QVERIFY(w.shows("DEV"));

    w.setDisableAll(true);
    QVERIFY(!w.shows("HP") && !w.shows("DEV") && w.desactiverEnabled());
    QVERIFY(w.toggle("VP") && w.toggle("HP") && !w.toggle("NOPE"));
    QCOMPARE(w.slot(0), QString("HP")); // slots in line order
    QCOMPARE(w.slot(1), QString("VP"));
    QVERIFY(w.toggle("VP"));
    QVERIFY(!w.shows("VP") && w.shows("HP"));
    QCOMPARE(w.disableAllCaption(), QString("Disable all 1 / 5"));
    // In a list, watching DEV lifts the DEV block and unwatching it sets the block again.
    w.setChecked(dev, false);
    QVERIFY(w.toggle("DEV") && w.shows("DEV"));
    QVERIFY(w.toggle("DEV") && !w.shows("DEV"));

    // Releasing "Disable all" shows everything but the blocked DEV replies.
    w.setDisableAll(false);
    QVERIFY(w.shows("VP") && !w.shows("DEV") && !w.disableAllDown() && !w.desactiverEnabled());
    QCOMPARE(w.disableAllCaption(), QString("Disable all"));
}

void TestDebugLogic::pace() {
    TextSender s;
    QVERIFY(!s.loadedOnce());
    s.setLines({"123456789", "", "5V"}); // a first line of nine characters: one line per tick
    QVERIFY(s.loadedOnce());
    QCOMPARE(s.pace(), TextSender::Pace::Line);
    QCOMPARE(s.interval(1024), 1054);
    QList<QByteArray> sent;
    while (const auto b = s.next())
        sent << *b;
    QCOMPARE(sent, (QList<QByteArray>{"123456789", "", "5V"}));
    QCOMPARE(s.next(), std::optional<QByteArray>("123456789")); // the next run starts over

    s.setLines({"1234567890", "5V"}); // ten: one character per tick
    QCOMPARE(s.pace(), TextSender::Pace::Character);
    QCOMPARE(s.interval(7), 17);
    QByteArray chars;
    while (const auto b = s.next())
        chars += *b;
    QCOMPARE(chars, QByteArray("1234567890\r\n5V\r")); // the final LF is never sent
    QCOMPARE(s.next(), std::optional<QByteArray>("1"));
}

void TestDebugLogic::splitAndLoad() {
    using L = QList<QByteArray>;
    QCOMPARE(TextSender::splitLines("a\r\nb\nc\rd"), (L{"a", "b", "c", "d"}));
    QCOMPARE(TextSender::splitLines("a\r\n"), L{"a"});
    QCOMPARE(TextSender::splitLines("a\n\nb\n"), (L{"a", "", "b"}));
    QCOMPARE(TextSender::splitLines(""), L{});

    QTemporaryDir dir;
    TextSender s;
    s.setLines({"100H"});
    const QString binary = dir.filePath("binary.txt");
    writeTestFile(binary, QByteArray("100H\n5V\0\x01\x02", 10));
    QVERIFY(!s.load(binary));
    QVERIFY(!s.load(dir.filePath("missing.txt")));
    QVERIFY(!s.load(dir.path())); // a folder
    const QString fifo = dir.filePath("fifo.txt");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(!s.load(fifo)); // refused without waiting for a writer
    const QString large = dir.filePath("large.txt");
    {
        QFile f(large);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(TextSender::kMaxFileBytes + 1));
    }
    QVERIFY(!s.load(large));
    // Nothing refused changed what was loaded before.
    QCOMPARE(s.lineCount(), 1);
    QCOMPARE(s.next(), std::optional<QByteArray>("100H"));

    const QString empty = dir.filePath("empty.txt");
    writeTestFile(empty, "");
    QVERIFY(s.load(empty));
    QCOMPARE(s.lineCount(), 0);
}

void TestDebugLogic::buttonFileRead() {
    QTemporaryDir dir;
    const QString path = dir.filePath("Debug.ini");
    QCOMPARE(DebugFiles::readButtonFile(path).status, DebugFiles::ReadStatus::Missing);
    writeTestFile(path, "desc1=Lire = donnée\r\nadon1= 2> \r\n"
                        "  DESC4 =Quatre\r\n" // names in any case, blanks around
                        "desc4=again\r\n"     // the first line of a name counts
                        "desc04=no\r\ndesc27=no\r\nnothing here\r\n=x\r\n"
                        "desc26=last"); // no line end at the end
    DebugFiles::ButtonFile f = DebugFiles::readButtonFile(path);
    QCOMPARE(f.status, DebugFiles::ReadStatus::Read);
    QCOMPARE(f.buttons[0].caption, QString("Lire = donnée"));
    QCOMPARE(f.buttons[0].command, QString(" 2> ")); // values as written
    QCOMPARE(f.buttons[3].caption, QString("Quatre"));
    QCOMPARE(f.buttons[4].caption, QString());
    QCOMPARE(f.buttons[25].caption, QString("last"));

    // Written back, it reads the same; a line break in a value cannot split its line.
    f.buttons[2] = {"Deux\r\nlignes", "3@"};
    QVERIFY(DebugFiles::writeButtonFile(path, f.buttons));
    const DebugFiles::ButtonFile back = DebugFiles::readButtonFile(path);
    QCOMPARE(back.buttons[0].command, QString(" 2> "));
    QCOMPARE(back.buttons[2].caption, QString("Deux  lignes"));
    QCOMPARE(back.buttons[2].command, QString("3@"));
}

void TestDebugLogic::buttonFileBadInput() {
    QTemporaryDir dir;
    const QString path = dir.filePath("Debug.ini");

    // Cut off in the middle of a line, with a Windows-1252 byte and binary junk.
    static const char cut[] = "desc1=D\xe9"
                              "but\r\n\x00\xff\xfe=\x01\r\nadon1=10";
    writeTestFile(path, QByteArray(cut, sizeof cut - 1));
    DebugFiles::ButtonFile f = DebugFiles::readButtonFile(path);
    QCOMPARE(f.status, DebugFiles::ReadStatus::Read);
    QCOMPARE(f.buttons[0].caption, QString::fromUtf8("Début"));
    QCOMPARE(f.buttons[0].command, QString("10"));

    // An overlong value is cut; a file beyond the read limit is read up to it.
    QByteArray big = "desc1=" + QByteArray(100000, 'x') + "\r\nadon1=1@\r\n";
    big += QByteArray(DebugFiles::kMaxButtonFileBytes, '\n') + "desc2=beyond\r\n";
    writeTestFile(path, big);
    f = DebugFiles::readButtonFile(path);
    QCOMPARE(f.status, DebugFiles::ReadStatus::Read);
    QCOMPARE(f.buttons[0].caption.size(), DebugFiles::kMaxValueLength);
    QCOMPARE(f.buttons[0].command, QString("1@"));
    QCOMPARE(f.buttons[1].caption, QString());

    // Something other than a file is not read, and not replaced.
    QFile::remove(path);
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    QCOMPARE(DebugFiles::readButtonFile(path).status, DebugFiles::ReadStatus::Unreadable);
    QVERIFY(!DebugFiles::writeButtonFile(path, f.buttons));
    QVERIFY(QFileInfo(path).isFile() == false);
}

// After each byte sent: "p" while a command is partly sent, "." once none is.
void TestDebugLogic::commandProgress_data() {
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("partial");
    QTest::newRow("three commands") << QByteArray("100H200V300W\r\n") << "ppp.ppp.ppp...";
    QTest::newRow("two-letter mnemonic") << QByteArray("1QP2xi") << "pp.pp.";
    // "Q" alone is no command: it waits for the letter of QP, QO, QA or QS.
    QTest::newRow("prefix then a value") << QByteArray("3Q4B") << "pp p.";
    QTest::newRow("blank or line end ends it") << QByteArray("7 H12\r") << "p..pp.";
    QTest::newRow("unknown letters") << QByteArray("5!K") << "p..";
    QTest::newRow("value-less commands") << QByteArray("?#") << "..";
}

void TestDebugLogic::commandProgress() {
    QFETCH(QByteArray, sent);
    QFETCH(QString, partial);
    QStringList mnemonics;
    for (const QString &line : DebugMnemonics::lines())
        mnemonics << DebugMnemonics::entryOf(line).command;
    CommandProgress progress(mnemonics);
    QString seen;
    for (const char c : sent)
        seen += progress.feed(QByteArray(1, c)) ? u'p' : u'.';
    QCOMPARE(seen, partial.remove(u' '));
    progress.feed("10");
    progress.reset(); // the sender stopped
    QVERIFY(!progress.partial());
}

QTEST_GUILESS_MAIN(TestDebugLogic)
#include "tst_debug_logic.moc"
