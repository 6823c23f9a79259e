#include "Conversion.h"
#include "Models.h"
#include "StatusTexts.h"

#include <QTest>

using namespace StatusTexts;

namespace {

// A connected Orlan Plus on input 2 (a video input) with a PAL signal locked to its internal rate.
Snapshot plusOnInput2() {
    Snapshot s;
    s.dev = 33;
    s.ichm = 2;
    s.selectedType = 0;
    s.ifamm = 3;
    s.ipsigm = true;
    s.unity = 2700;
    s.ildm = 1728;
    s.ifdm = 312;
    s.iintm = true;
    s.sourceNames = {"Internal Rate", "Input 1", "Input 2", "Input 3", "Input 4", "Input 5"};
    s.inputCaptions = {"Input 1", "Input 2", "Input 3", "Input 4", "Input 5"};
    s.decimalPoint = QLatin1Char('.');
    return s;
}

QString cell(const Update &u, int row) {
    return u.cells[static_cast<std::size_t>(row)].value_or("<unchanged>");
}
int flag(const Update &u, int row) {
    return u.flags[static_cast<std::size_t>(row)].value_or(99);
}

} // namespace

class TestStatusTexts : public QObject {
    Q_OBJECT
  private slots:
    void generalFormat_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("precision");
        QTest::addColumn<QString>("text");
        QTest::newRow("interlaced PAL") << 49.99600 << 4 << "50";
        QTest::newRow("progressive NTSC") << 60.096 << 2 << "60";
        QTest::newRow("three digits") << 100.4 << 3 << "100";
        QTest::newRow("keeps decimals") << 59.94 << 4 << "59.94";
        QTest::newRow("trailing zero removed") << 50.10 << 4 << "50.1";
        QTest::newRow("exact half rounds up") << 0.125 << 2 << "0.13";
        QTest::newRow("carry into new digit") << 99.996 << 4 << "100";
        QTest::newRow("small") << 0.00123456 << 4 << "0.001235";
        QTest::newRow("too small for fixed") << 0.00001234 << 4 << "1.234E-5";
        QTest::newRow("too large for fixed") << 123456.0 << 4 << "1.235E5";
        QTest::newRow("exactly precision digits") << 1234.4 << 4 << "1234";
        QTest::newRow("zero") << 0.0 << 4 << "0";
        QTest::newRow("negative") << -2.5 << 2 << "-2.5";
    }
    void generalFormat() {
        QFETCH(double, value);
        QFETCH(int, precision);
        QFETCH(QString, text);
        QCOMPARE(FormatGeneral(value, precision, QLatin1Char('.')), text);
    }

    void generalFormatUsesGivenSeparator() {
        QCOMPARE(FormatGeneral(59.94L, 4, QLatin1Char(',')), QString("59,94"));
    }

    void frameRate_data() {
        QTest::addColumn<uint>("unity");
        QTest::addColumn<uint>("ildm");
        QTest::addColumn<uint>("ifdm");
        QTest::addColumn<bool>("interlaced");
        QTest::addColumn<QString>("text");
        QTest::newRow("50 Hz interlaced") << 2700u << 1728u << 312u << true << "50 Hz";
        QTest::newRow("60 Hz progressive") << 2700u << 1728u << 260u << false << "60 Hz";
        QTest::newRow("above 100 uses 3 digits") << 2700u << 1728u << 130u << false << "120 Hz";
        QTest::newRow("no line duration") << 2700u << 0u << 312u << true << "Not measured";
        QTest::newRow("no frame duration") << 2700u << 1728u << 0u << false << "Not measured";
        // UNITy x 10 wraps in 32 bits, as the scaler's arithmetic does; nothing fails.
        QTest::newRow("huge unit") << 0xFFFFFFFFu << 1u << 1u << false << "4.29E12 Hz";
    }
    void frameRate() {
        QFETCH(uint, unity);
        QFETCH(uint, ildm);
        QFETCH(uint, ifdm);
        QFETCH(bool, interlaced);
        QFETCH(QString, text);
        QCOMPARE(FrameRate(unity, ildm, ifdm, interlaced, QLatin1Char('.')), text);
    }

    void tablesGiveEmptyTextOutsideRange() {
        QCOMPARE(InputFormat(11), QString("Computer"));
        QCOMPARE(InputFormat(12), QString());
        QCOMPARE(ReferenceFamily(6), QString("Black and White"));
        QCOMPARE(ReferenceFamily(0xFFFFFFFF), QString());
        QCOMPARE(OutputFormat(10), QString("VGA   640x480"));
        QCOMPARE(OutputFormat(11), QString());
        QCOMPARE(OutputSync(3), QString());
        QCOMPARE(InternalRate(1, 3), QString("75 Hz"));
        QCOMPARE(InternalRate(0, 3), QString());
        QCOMPARE(InternalRate(2, 4), QString());
        QCOMPARE(InternalRate(-1, 0), QString());
    }

    void signalTypeEntryFollowsListKind() {
        const QStringList four = Models::SignalTypes(Models::SignalList::Four);
        QCOMPARE(SignalTypeText(four, 4), QString("SDTV RGB SOG"));
        QCOMPARE(SignalTypeText(four, 1), QString()); // composite is not on the four-entry list
        QCOMPARE(SignalTypeText(Models::SignalTypes(Models::SignalList::Two), 1), QString("SDTV Y/C"));
        QCOMPARE(SignalTypeText(Models::SignalTypes(Models::SignalList::Six), 5), QString("SDTV RGB Ana."));
        QCOMPARE(SignalTypeText({}, 0), QString());
        QCOMPARE(SignalTypeText(Models::SignalTypes(Models::SignalList::Six), 7), QString());
    }

    void unknownModelClearsGrid() {
        Snapshot s = plusOnInput2();
        s.dev = 0;
        QVERIFY(Compute(s).clear);
        s.dev = 34;
        QVERIFY(Compute(s).clear);
    }

    void measuredInterlacedSignal() {
        const Update u = Compute(plusOnInput2());
        QVERIFY(!u.clear);
        QCOMPARE(cell(u, RowInput), QString("Input 2"));
        QCOMPARE(cell(u, RowType), QString()); // input 2 of an Orlan Plus has no list
        QCOMPARE(cell(u, RowFormat), QString("PAL std(4,43/50)"));
        QCOMPARE(cell(u, RowLineFreq), QString("15 kHz i"));
        QCOMPARE(cell(u, RowFrameFreq), QString("50 Hz"));
        QCOMPARE(cell(u, RowSync), QString("H & V   (H- V-)"));
        QCOMPARE(cell(u, RowSource), QString("Internal Rate"));
        QCOMPARE(cell(u, RowRate), QString("50 Hz"));
        QCOMPARE(flag(u, RowSource), 0);
        QCOMPARE(cell(u, RowOutputFormat), QString("SVGA  800x600"));
        QCOMPARE(cell(u, RowOutputFrameFreq), QString("50 Hz"));
        QCOMPARE(cell(u, RowOutputSync), QString("H & V"));
        QCOMPARE(cell(u, RowRecorded), QString("<unchanged>"));
        QCOMPARE(cell(u, RowLast), QString("<unchanged>"));
    }

    void withoutLineDurationRowFourIsKept() {
        Snapshot s = plusOnInput2();
        s.ildm = 0;
        const Update u = Compute(s);
        QCOMPARE(cell(u, RowLineFreq), QString("<unchanged>"));
        QCOMPARE(cell(u, RowFrameFreq), QString("Not measured"));
    }

    void signalStates() {
        Snapshot s = plusOnInput2();
        s.ipsigm = false;
        Update u = Compute(s);
        QCOMPARE(cell(u, RowSync), QString("No synchro"));
        QCOMPARE(cell(u, RowFormat), QString());
        QCOMPARE(cell(u, RowLineFreq), QString());
        s.ipsigm = true;
        s.ioorm = true;
        u = Compute(s);
        QCOMPARE(cell(u, RowSync), QString("Out of range"));
        QCOMPARE(cell(u, RowFrameFreq), QString());
        s.ioorm = false;
        const std::pair<uint32_t, const char *> syncs[] = {
            {1, "TTL Composite"}, {2, "Sync. On Green"}, {3, "Analog Composite"}, {4, "Sync. error !"}};
        for (const auto &[code, text] : syncs) {
            s.isyncm = code;
            QCOMPARE(cell(Compute(s), RowSync), QString(text));
        }
        s.isyncm = 0;
        s.ihpolm = s.ivpolm = true;
        QCOMPARE(cell(Compute(s), RowSync), QString("H & V   (H+ V+)"));
    }

    void rateErrorHighlightsReferenceAndOutputRate() {
        Snapshot s = plusOnInput2();
        s.refreq = 1;
        s.refsta = 0;
        Update u = Compute(s);
        QCOMPARE(flag(u, RowSource), -1);
        QCOMPARE(flag(u, RowOutputFrameFreq), -1);
        QCOMPARE(flag(u, RowOutputFormat), 0);
        QCOMPARE(cell(u, RowSource), QString("No input signal"));
        QCOMPARE(cell(u, RowRate), QString("Rate error"));
        QCOMPARE(cell(u, RowOutputFrameFreq), QString("No signal at Input 2"));
        // Asked for the internal rate but the scaler follows an input.
        s.refreq = 0;
        s.refsta = 2;
        QCOMPARE(cell(Compute(s), RowOutputFrameFreq), QString("Rate error"));
    }

    void lockedToInput() {
        Snapshot s = plusOnInput2();
        s.refreq = s.refsta = 1;
        s.reffam = 3;
        s.reffrq = 5994;
        const Update u = Compute(s);
        QCOMPARE(cell(u, RowSource), QString("Input 2  PAL"));
        QCOMPARE(cell(u, RowRate), QString("59.94 Hz"));
        QCOMPARE(cell(u, RowOutputFrameFreq), QString("59.94 Hz"));
        QCOMPARE(flag(u, RowOutputFrameFreq), 0);
    }

    void computerInput() {
        Snapshot s = plusOnInput2();
        s.ichm = 5;
        s.selectedType = 7;
        s.isyncm = 1;
        s.refreq = 1; // a rate error does not show on a computer input
        Update u = Compute(s);
        QCOMPARE(cell(u, RowSource), QString("Loopthrough"));
        QCOMPARE(cell(u, RowRate), QString("Loopthrough"));
        QCOMPARE(cell(u, RowOutputFormat), QString("Loopthrough"));
        QCOMPARE(cell(u, RowOutputFrameFreq), QString("50 Hz"));
        QCOMPARE(cell(u, RowOutputSync), QString("TTL Composite"));
        QCOMPARE(flag(u, RowSource), 0);
        QCOMPARE(flag(u, RowOutputFormat), 0);
        s.ipsigm = false;
        u = Compute(s);
        QCOMPARE(flag(u, RowOutputFormat), -1);
        QCOMPARE(cell(u, RowOutputFormat), QString("No input signal"));
        QCOMPARE(cell(u, RowOutputFrameFreq), QString());
        QCOMPARE(cell(u, RowOutputSync), QString("No synchro"));
    }

    void valuesOutsideEveryTable() {
        Snapshot s = plusOnInput2();
        s.ichm = 9; // no such input
        s.ifamm = 200;
        s.ofmtm = 77;
        s.osyncm = 5;
        s.oratem = 8;
        s.reffam = 40;
        Update u = Compute(s);
        QCOMPARE(cell(u, RowInput), QString());
        QCOMPARE(cell(u, RowType), QString());
        QCOMPARE(cell(u, RowFormat), QString());
        QCOMPARE(cell(u, RowOutputFormat), QString());
        QCOMPARE(cell(u, RowOutputSync), QString());
        QCOMPARE(cell(u, RowRate), QString());
        s.refreq = s.refsta = 3;
        u = Compute(s);
        QCOMPARE(cell(u, RowSource), QString("  "));
        s.ichm = 0;
        u = Compute(s);
        QCOMPARE(cell(u, RowInput), QString("No input"));
        QCOMPARE(cell(u, RowType), QString("<unchanged>"));
    }

    void modelTable() {
        QCOMPARE(Models::ModelIndex(32), 0);
        QCOMPARE(Models::ModelIndex(40), 2);
        QCOMPARE(Models::ModelIndex(0), -1);
        QVERIFY(!Models::IsKnownModel(0x100 + 33));
        QCOMPARE(Models::InputButtonGeometry(480, 3).unit, 160);
        QCOMPARE(Models::InputButtonGeometry(480, 5).width, 92);
        QCOMPARE(Models::InputButtonGeometry(480, 2).width, 236);
        QCOMPARE(Models::InputButtonGeometry(480, 0).unit, 0);
    }

    void conversion() {
        TConversion c;
        QString text;
        const std::pair<int, const char *> shown[] = {{0, "-128"}, {128, "0"}, {255, "127"}};
        for (const auto &[value, expected] : shown) {
            c.PositionDriver(value, text);
            QCOMPARE(text, QString(expected));
        }
        QCOMPARE(c.PositionAffichage(127), 255);
        QCOMPARE(c.PositionAffichage(-128), 0);
        QCOMPARE(c.PositionAffichage(200), 127); // out of range: the middle of the range, -1
        c.SetValMaxDriver(0);
        c.PositionDriver(10, text);
        QCOMPARE(text, QString("0"));
        c.SetValMaxAffichage(-128);
        QCOMPARE(c.PositionAffichage(-128), 0);
    }
};

QTEST_GUILESS_MAIN(TestStatusTexts)
#include "tst_status_texts.moc"
