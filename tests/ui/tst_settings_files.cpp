#include "SettingsFiles.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace SettingsFiles;

class TestSettingsFiles : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString connectionFile(const QByteArray &content) {
        const QString path = ConnectionFilePath(m_dir.path());
        writeTestFile(path, content);
        return path;
    }

    static QByteArray read(const QString &path) { return readTestFile(path); }

    // Runs `reading` on a thread of its own. Should it wait on the FIFO at `fifo`, opening the FIFO's other
    // end releases it and the result is false instead of a hung test.
    template <typename F> static bool returnsWithoutWaiting(const QString &fifo, F reading) {
        std::future<void> done = std::async(std::launch::async, reading);
        if (done.wait_for(std::chrono::seconds(3)) == std::future_status::ready) return true;
        while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
        }
        return false;
    }

  private slots:
    void paths() {
        QCOMPARE(QFileInfo(ConnectionFilePath("/x")).fileName(), QString("OXS remote control.ini"));
        QCOMPARE(QFileInfo(InputNamesFilePath("/x", 33)).fileName(), QString("Orlan Plus.ini"));
        QCOMPARE(InputNamesFilePath("/x", 0), QString());
    }

    // --config-dir wins; else the program's folder while it can be written (a copied folder keeps its
    // settings); else, as under /usr/bin, the user's own folder.
    void settingsFolderChoice() {
        QStringList asked;
        auto readOnly = [&asked](const QString &dir) {
            asked << dir;
            return false;
        };
        QCOMPARE(ChooseSettingsDir("/opt/cfg", "/usr/bin", "/home/u/.config/x", readOnly),
                 QString("/opt/cfg"));
        QCOMPARE(asked, QStringList());
        QCOMPARE(ChooseSettingsDir("", "/usr/bin", "/home/u/.config/x", readOnly),
                 QString("/home/u/.config/x"));
        QCOMPARE(asked, QStringList{"/usr/bin"});
        QCOMPARE(ChooseSettingsDir("", "/copy", "/home/u/.config/x", [](const QString &) { return true; }),
                 QString("/copy"));

        // The real check: a folder that cannot exist (under a regular file) is not writable, even for root.
        const QString file = m_dir.filePath("plain-file");
        writeTestFile(file, "x");
        QVERIFY(!CanWriteInFolder(file + "/bin"));
        QCOMPARE(ChooseSettingsDir("", file + "/bin", m_dir.path()), m_dir.path());
        QVERIFY(CanWriteInFolder(m_dir.filePath("new/folder")));
        QCOMPARE(QDir(m_dir.filePath("new/folder")).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void connectionRoundTripInKeyOrder() {
        ConnectionSettings s;
        s.port = 11;
        s.remoteIp = "10.1.2.3";
        s.remotePort = 4000;
        s.localPort = 4001;
        s.ipEnable = 2;
        const QString path = ConnectionFilePath(m_dir.path());
        QVERIFY(WriteConnectionSettings(path, s));
        QCOMPARE(read(path),
                 QByteArray("[CONNEXION]\r\nPort=11\r\nREMOTE_IP=10.1.2.3\r\nREMOTE_PORT_ENTRY=4000\r\n"
                            "LOCAL_PORT_ENTRY=4001\r\nIP_ENABLE=2\r\n"));
        const ConnectionLoad back = ReadConnectionSettings(path);
        QVERIFY(!back.selectPort);
        QCOMPARE(back.settings.port, 11);
        QCOMPARE(back.settings.remoteIp, QString("10.1.2.3"));
        QCOMPARE(back.settings.remotePort, 4000);
        QCOMPARE(back.settings.localPort, 4001);
        QCOMPARE(back.settings.ipEnable, 2);
    }

    void damagedConnectionFiles_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("selectPort");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("remoteIp");
        QTest::addColumn<int>("remotePort");
        QTest::addColumn<int>("ipEnable");
        QTest::newRow("empty") << QByteArray() << true << 0 << "192.168.0.10" << 10500 << 0;
        QTest::newRow("section only")
            << QByteArray("[CONNEXION]\r\n") << true << 0 << "192.168.0.10" << 10500 << 0;
        QTest::newRow("truncated after Port")
            << QByteArray("[CONNEXION]\r\nPort=4\r\nREMOTE_I") << false << 4 << "192.168.0.10" << 10500 << 0;
        QTest::newRow("unknown keys, other case")
            << QByteArray("[connexion]\nColour=blue\nport=2\nip_enable=1\n") << false << 2 << "192.168.0.10"
            << 10500 << 1;
        // Without a usable Port the operator selects one and the link goes back to COM1, but addresses that
        // were read are kept so that the rewrite at exit does not lose them.
        QTest::newRow("Port not a number")
            << QByteArray("[CONNEXION]\nPort=COM3\nREMOTE_IP=10.0.0.7\nREMOTE_PORT_ENTRY=99\nIP_ENABLE=2\n")
            << true << 0 << "10.0.0.7" << 99 << 0;
        QTest::newRow("Port -1") << QByteArray("[CONNEXION]\nPort=-1\nIP_ENABLE=1\n") << true << 0
                                 << "192.168.0.10" << 10500 << 0;
        QTest::newRow("Port beyond COM16") << QByteArray("[CONNEXION]\nPort=16\nIP_ENABLE=2\n") << false << 0
                                           << "192.168.0.10" << 10500 << 2;
        QTest::newRow("Port negative")
            << QByteArray("[CONNEXION]\nPort=-7\n") << false << 0 << "192.168.0.10" << 10500 << 0;
        QTest::newRow("network port out of range")
            << QByteArray("[CONNEXION]\nPort=1\nREMOTE_PORT_ENTRY=70000\n") << false << 1 << "192.168.0.10"
            << 10500 << 0;
        QTest::newRow("blanks around keys and values")
            << QByteArray(
                   "[ CONNEXION ]\r\n Port = 2 \r\nREMOTE_IP = 127.0.0.1 \r\nREMOTE_PORT_ENTRY =\t99\r\n"
                   "IP_ENABLE = 1\r\n")
            << false << 2 << "127.0.0.1" << 99 << 1;
        QTest::newRow("wrong section")
            << QByteArray("[CONNECTION]\nPort=3\n") << true << 0 << "192.168.0.10" << 10500 << 0;
    }
    void damagedConnectionFiles() {
        QFETCH(QByteArray, content);
        QFETCH(bool, selectPort);
        QFETCH(int, port);
        QFETCH(QString, remoteIp);
        QFETCH(int, remotePort);
        QFETCH(int, ipEnable);
        const ConnectionLoad load = ReadConnectionSettings(connectionFile(content));
        QCOMPARE(load.selectPort, selectPort);
        QCOMPARE(load.settings.port, port);
        QCOMPARE(load.settings.remoteIp, remoteIp);
        QCOMPARE(load.settings.remotePort, remotePort);
        QCOMPARE(load.settings.localPort, 10500);
        QCOMPARE(load.settings.ipEnable, ipEnable);
    }

    void missingConnectionFileAsksForPort() {
        const ConnectionLoad load = ReadConnectionSettings(m_dir.filePath("nothing-here.ini"));
        QVERIFY(load.selectPort);
        QCOMPARE(load.settings.port, 0);
    }

    void unwritableConnectionFileKeepsOldOne() {
        const QString path = connectionFile("[CONNEXION]\r\nPort=5\r\n");
        QVERIFY(!WriteConnectionSettings(m_dir.filePath("no/such/folder/x.ini"), ConnectionSettings{}));
        QCOMPARE(read(path), QByteArray("[CONNEXION]\r\nPort=5\r\n"));
    }

    void fifosInPlaceOfSettingsFiles() {
        QTemporaryDir dir;
        const QString connection = ConnectionFilePath(dir.path());
        const QString names = InputNamesFilePath(dir.path(), 33);
        for (const QString &path : {connection, names})
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);

        // At start: unreadable, so the operator selects a port.
        ConnectionLoad load;
        QVERIFY(returnsWithoutWaiting(connection, [&] { load = ReadConnectionSettings(connection); }));
        QVERIFY(load.selectPort);
        QCOMPARE(load.settings.port, 0);
        // At model detection: default names.
        InputNames read;
        bool ok = true;
        QVERIFY(returnsWithoutWaiting(names, [&] { ok = ReadInputNames(dir.path(), 33, read); }));
        QVERIFY(!ok);
        QCOMPARE(read.inputs[4], QString("Input 5"));

        // Whoever put a FIFO there meant it: it is not replaced.
        QVERIFY(!WriteConnectionSettings(connection, ConnectionSettings{}));
        QVERIFY(!WriteInputNames(dir.path(), 33, read));
        for (const QString &path : {connection, names}) {
            struct stat info {};
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
            QVERIFY(S_ISFIFO(info.st_mode));
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden).size(), 2);
    }

    void inputNamesOfOneModel() {
        QTemporaryDir dir;
        InputNames names;
        names.black = "Noir";
        names.inputs = {"Camera", "", "Laptop", "never written", "never written"};
        names.audios = {"Mic", "Line", "PC", "x", "x"};
        QVERIFY(WriteInputNames(dir.path(), 32, names));
        QCOMPARE(
            read(InputNamesFilePath(dir.path(), 32)),
            QByteArray("[Orlan]\r\nBlack=Noir\r\nInput1=Camera\r\nAudio1=Mic\r\nInput2=\r\nAudio2=Line\r\n"
                       "Input3=Laptop\r\nAudio3=PC\r\n"));
        QVERIFY(!QFile::exists(InputNamesFilePath(dir.path(), 33)));
        QVERIFY(!WriteInputNames(dir.path(), 7, names));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);

        InputNames back;
        QVERIFY(ReadInputNames(dir.path(), 32, back));
        QCOMPARE(back.black, QString("Noir"));
        QCOMPARE(back.inputs[0], QString("Camera"));
        QCOMPARE(back.inputs[1], QString()); // an empty name is a name
        QCOMPARE(back.audios[2], QString("PC"));
        QCOMPARE(back.inputs[3], QString()); // beyond the model's inputs: not read
    }

    void inputNamesDefaults() {
        QTemporaryDir dir;
        QFile f(InputNamesFilePath(dir.path(), 40));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Orlan C]\nInput2=Computer with a name far longer than seventeen\nAudio9=x\n");
        f.close();
        InputNames names;
        names.black = "kept?";
        QVERIFY(ReadInputNames(dir.path(), 40, names));
        QCOMPARE(names.black, QString("Black"));
        QCOMPARE(names.inputs[0], QString("Input 1"));
        QCOMPARE(names.inputs[1], QString("Computer with a name far longer than seventeen"));
        QCOMPARE(names.audios[1], QString("Audio 2"));

        // A file that cannot be read (a folder in its place): defaults, the Black caption stays.
        QTemporaryDir other;
        QVERIFY(QDir(other.path()).mkdir("Orlan.ini"));
        InputNames unread;
        unread.black = "Noir";
        unread.inputs[0] = "old";
        QVERIFY(!ReadInputNames(other.path(), 32, unread));
        QCOMPARE(unread.black, QString("Noir"));
        QCOMPARE(unread.inputs[0], QString("Input 1"));
        QCOMPARE(unread.audios[2], QString("Audio 3"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsFiles)
#include "tst_settings_files.moc"
