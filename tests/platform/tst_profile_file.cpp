#include "ProfileFile.h"
#include "TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestProfileFile : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &bytes) {
        const QString path = m_dir.filePath(name);
        writeTestFile(path, bytes);
        return path;
    }

    static QByteArray read(const QString &path) { return readTestFile(path); }

  private slots:
    void lookupFollowsProfileRules() {
        const QString path = write("a.ini", "Port=9\r\n" // before any section: ignored
                                            "[connexion]\r\n"
                                            "  port = 3\r\n"
                                            "; a comment\r\n"
                                            "garbage line\n"
                                            "PORT=4\n" // a second key of the same name: ignored
                                            "Name= two  spaces \r\n"
                                            "\tREMOTE_IP \t=\t127.0.0.1 \r\n"
                                            "Empty=\r\n"
                                            "[Other]\n"
                                            "Port=7\n"
                                            "[CONNEXION]\n" // the section again: first one wins
                                            "Late=1\n");
        const ProfileReader ini(path);
        QVERIFY(ini.exists());
        QVERIFY(ini.readable());
        QCOMPARE(ini.readInteger("CONNEXION", "Port", -1), 3);
        QCOMPARE(ini.readInteger("other", "PORT", -1), 7);
        // Blanks around a value are not part of it; those inside are.
        QCOMPARE(ini.readString("CONNEXION", "name", "x"), QString("two  spaces"));
        QCOMPARE(ini.readString("CONNEXION", "REMOTE_IP", "x"), QString("127.0.0.1"));
        QCOMPARE(ini.value("CONNEXION", "Empty"), std::optional<QString>(QString()));
        QCOMPARE(ini.readString("CONNEXION", "Missing", "dflt"), QString("dflt"));
        QCOMPARE(ini.readInteger("CONNEXION", "Late", -1), 1);
        QCOMPARE(ini.readInteger("Nowhere", "Port", -1), -1);
    }

    void missingEmptyAndBinaryFilesReadAsEmpty() {
        const ProfileReader missing(m_dir.filePath("none.ini"));
        QVERIFY(!missing.exists());
        QVERIFY(missing.readable());
        QCOMPARE(missing.readInteger("S", "K", 5), 5);

        const ProfileReader empty(write("empty.ini", ""));
        QCOMPARE(empty.readString("S", "K", "d"), QString("d"));

        QByteArray junk(4096, '\0');
        for (int i = 0; i < junk.size(); ++i)
            junk[i] = static_cast<char>((i * 37) & 0xFF);
        const ProfileReader binary(write("junk.ini", junk));
        QCOMPARE(binary.readInteger("CONNEXION", "Port", -1), -1);

        // Truncated in the middle of a line: what is complete still reads.
        const ProfileReader cut(write("cut.ini", "[CONNEXION]\r\nPort=2\r\nREMOTE_IP=192.16"));
        QCOMPARE(cut.readInteger("CONNEXION", "Port", -1), 2);
        QCOMPARE(cut.readString("CONNEXION", "REMOTE_IP", "d"), QString("192.16"));
    }

    void eachLineKeepsItsOwnEncoding() {
        // A UTF-8 file (with the mark some editors put first) in which one line was typed in Latin-1.
        const ProfileReader ini(write("mixed.ini", "\xEF\xBB\xBF[Orlan]\r\n"
                                                   "Input1=Cam\xC3\xA9ra\r\n"
                                                   "Input2=Cam\xE9ra\r\n"
                                                   "Audio1=\xC3\xA9\xE9\r\n"));
        QCOMPARE(ini.readString("Orlan", "Input1", ""), QString::fromUtf8("Caméra"));
        QCOMPARE(ini.readString("Orlan", "Input2", ""), QString::fromUtf8("Caméra"));
        QCOMPARE(ini.readString("Orlan", "Audio1", ""),
                 QString::fromUtf8("Ã©é")); // not valid UTF-8 as a whole
    }

    void integers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // -999 stands for "does not convert"
        QTest::newRow("decimal") << "10500" << 10500;
        QTest::newRow("blanks") << "  12 " << 12;
        QTest::newRow("negative") << "-1" << -1;
        QTest::newRow("plus") << "+7" << 7;
        QTest::newRow("dollar hex") << "$1F" << 31;
        QTest::newRow("0x hex") << "0x1f" << 31;
        QTest::newRow("max") << "2147483647" << 2147483647;
        QTest::newRow("overflow") << "2147483648" << -999;
        QTest::newRow("words") << "twelve" << -999;
        QTest::newRow("trailing junk") << "12abc" << -999;
        QTest::newRow("decimal point") << "1.5" << -999;
        QTest::newRow("empty") << "" << -999;
        QTest::newRow("sign only") << "-" << -999;
        QTest::newRow("double sign") << "--3" << -999;
    }
    void integers() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(ProfileReader::toInteger(text).value_or(-999), expected);
    }

    void writerKeepsOrderAndReplacesWholeFile() {
        const QString path = write("out.ini", "[Old]\r\nStale=1\r\n");
        ProfileWriter ini(path);
        ini.writeInteger("CONNEXION", "Port", 0);
        ini.writeString("Second", "A", "x");
        ini.writeString("CONNEXION", "REMOTE_IP", "line\r\nbreak");
        ini.writeString("connexion", "port", "2");       // same key, other case: replaced in place
        ini.writeString("Second", " B ", "  y z\t\r\n"); // blanks around would not read back
        QVERIFY(ini.commit());
        QCOMPARE(read(path),
                 QByteArray("[CONNEXION]\r\nPort=2\r\nREMOTE_IP=line  break\r\n[Second]\r\nA=x\r\n"
                            "B=y z\r\n"));

        // What was written reads back.
        const ProfileReader back(path);
        QCOMPARE(back.readInteger("CONNEXION", "Port", -1), 2);
        QCOMPARE(back.readString("Second", "a", ""), QString("x"));
    }

    void failedWriteLeavesOldFile() {
        // A path inside a missing folder, and a folder standing where the file should be.
        ProfileWriter nowhere(m_dir.filePath("missing/dir/x.ini"));
        nowhere.writeInteger("S", "K", 1);
        QVERIFY(!nowhere.commit());

        QVERIFY(QDir(m_dir.path()).mkdir("blocked.ini"));
        ProfileWriter blocked(m_dir.filePath("blocked.ini"));
        blocked.writeInteger("S", "K", 1);
        QVERIFY(!blocked.commit());
        QVERIFY(QFileInfo(m_dir.filePath("blocked.ini")).isDir());
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profile_file.moc"
