// Picture fitting, the field and its preview, picture files that are malformed, and the gradient.
#include "Gradient.h"
#include "PictureFitting.h"
#include "TestFiles.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sys/stat.h>

namespace {

// Every pixel different, so a wrong source pixel shows.
QImage pattern(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(x & 0xFF, y & 0xFF, (x >> 8) | (y >> 8) << 4));
    return picture;
}

QByteArray bmpBytes(const QImage &picture) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "BMP");
    return bytes;
}

} // namespace

class TstFramePictures : public QObject {
    Q_OBJECT
  private slots:
    void fitChoice_data();
    void fitChoice();
    void fitGeometry();
    void processingKeepsEveryOtherLineTwice();
    void loadRefusesBadFiles();
    void loadTakesEveryDepth();
    void gradient();
};

void TstFramePictures::fitChoice_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("first");  // the mode of the first answer; 1: no question
    QTest::addColumn<int>("second"); // the mode of the second answer
    QTest::newRow("exact") << QSize(720, 576) << 1 << 1;
    QTest::newRow("one column too wide") << QSize(721, 100) << 3 << 2;
    QTest::newRow("one line too high") << QSize(100, 577) << 3 << 2;
    QTest::newRow("one column short") << QSize(719, 576) << 4 << 5;
    QTest::newRow("VGA") << QSize(640, 480) << 4 << 5;
    QTest::newRow("already a field") << QSize(720, 288) << 4 << 5;
}

void TstFramePictures::fitChoice() {
    QFETCH(QSize, size);
    QFETCH(int, first);
    QFETCH(int, second);
    int asked = 0;
    QString label;
    const auto answer = [&](TFitAnswer a) {
        return [&, a](const TFitChoice &choice) {
            ++asked;
            label = choice.label;
            return a;
        };
    };
    QCOMPARE(int(ChooseFitMode(size.width(), size.height(), answer(TFitAnswer::First))), first);
    QCOMPARE(int(ChooseFitMode(size.width(), size.height(), answer(TFitAnswer::Second))), second);
    const bool question = first != FIT_EXACT;
    QCOMPARE(int(ChooseFitMode(size.width(), size.height(), answer(TFitAnswer::Cancel))),
             question ? int(FIT_CANCELLED) : int(FIT_EXACT));
    QCOMPARE(asked, question ? 3 : 0);
    if (question)
        QCOMPARE(label, first == FIT_CROP ? "Picture is too large to fit.\r\nWhat would you prefer ?"
                                          : "Picture is too small to fit.\r\nWhat would you prefer ?");
}

void TstFramePictures::fitGeometry() {
    QImage working(kFrameWidth, kFrameHeight, QImage::Format_RGB32);
    working.fill(Qt::white); // what a larger picture left behind

    // Centred: (40, 48) to (680, 528), black around.
    const QImage vga = pattern(640, 480);
    QVERIFY(FitPicture(FIT_CENTER, vga, working));
    QCOMPARE(working.copy(40, 48, 640, 480), vga);
    for (const QPoint p :
         {QPoint(39, 300), QPoint(680, 300), QPoint(300, 47), QPoint(300, 528), QPoint(0, 0)})
        QCOMPARE(working.pixel(p), qRgb(0, 0, 0));

    // Cropped: the top-left part unscaled; what the source does not cover is black.
    const QImage wide = pattern(721, 100);
    QVERIFY(FitPicture(FIT_CROP, wide, working));
    QCOMPARE(working.copy(0, 0, 720, 100), wide.copy(0, 0, 720, 100));
    QCOMPARE(working.pixel(5, 100), qRgb(0, 0, 0));

    // Scaled, nearest neighbour: a 360 x 288 source doubles every pixel, a 1440 x 1152 one keeps every
    // second; exact keeps the picture as it is.
    const QImage half = pattern(360, 288);
    QVERIFY(FitPicture(FIT_ZOOM, half, working));
    QCOMPARE(working.pixel(201, 403), half.pixel(100, 201));
    QCOMPARE(ScaleNearest(working, 360, 288), half);
    const QImage twice = pattern(1440, 1152);
    QVERIFY(FitPicture(FIT_SHRINK, twice, working));
    QCOMPARE(working.pixel(719, 575), twice.pixel(1438, 1150));
    const QImage exact = pattern(720, 576);
    QVERIFY(FitPicture(FIT_EXACT, exact, working));
    QCOMPARE(working, exact);

    QVERIFY(!FitPicture(FIT_CANCELLED, exact, working));
    QVERIFY(!FitPicture(6, exact, working));
}

void TstFramePictures::processingKeepsEveryOtherLineTwice() {
    TFramePictures pictures;
    QCOMPARE(pictures.Field.image.size(), QSize(720, 288));
    QVERIFY(pictures.Source.image.isNull());
    pictures.Source.image = pattern(720, 576);

    QStringList calls;
    TFramePictures::Observer observer;
    observer.processingStarted = [&] { calls << "processing"; };
    observer.progress = [&](int min, int max, int pos) {
        calls << QStringLiteral("progress %1 %2 %3").arg(min).arg(max).arg(pos);
    };
    observer.status = [&](int mode, const QString &text) {
        // The surfaces are held while the status changes.
        QVERIFY(!pictures.Field.Surface().tryLock());
        calls << QStringLiteral("%1 %2").arg(mode).arg(text);
    };
    observer.sourceSize = [&](int w, int h) { calls << QStringLiteral("size %1 x %2").arg(w).arg(h); };
    QVERIFY(!pictures.ProcessPicture(FIT_CANCELLED, observer));
    QVERIFY(calls.isEmpty());
    QVERIFY(pictures.ProcessPicture(FIT_EXACT, observer));
    QCOMPARE(calls, QStringList({"processing", "progress 0 414720 0", "1 Processing picture...",
                                 "1 Updating...", "size 720 x 576", "0 Idle"}));

    const QImage &field = pictures.Field.image;
    const QImage &preview = pictures.Display.image;
    QCOMPARE(preview.size(), QSize(720, 576));
    for (int k = 0; k < 288; ++k) {
        QCOMPARE(field.copy(0, k, 720, 1), pictures.Working.image.copy(0, 2 * k, 720, 1));
        QCOMPARE(preview.copy(0, 2 * k, 720, 1), field.copy(0, k, 720, 1));
        QCOMPARE(preview.copy(0, 2 * k + 1, 720, 1), field.copy(0, k, 720, 1));
    }
}

void TstFramePictures::loadRefusesBadFiles() {
    QTemporaryDir dir;
    const QByteArray good = bmpBytes(pattern(100, 50));
    QByteArray enormous = good.left(54);
    qToLittleEndian<qint32>(60000, enormous.data() + 18);
    qToLittleEndian<qint32>(60000, enormous.data() + 22);
    QByteArray noWidth = good;
    qToLittleEndian<qint32>(0, noWidth.data() + 18);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        pattern(4, 4).save(&buffer, "PNG");
    }
    const struct {
        const char *name;
        QByteArray bytes;
        const char *why;
    } cases[] = {
        {"empty.bmp", QByteArray(), "not a Windows BMP"},
        {"header.bmp", good.left(30), "not a Windows BMP"},
        {"half.bmp", good.left(good.size() / 2), "cut short"},
        {"lastbyte.bmp", good.left(good.size() - 1), "cut short"},
        {"enormous.bmp", enormous, "too large"},
        {"nowidth.bmp", noWidth, "no pixels"},
        {"picture.bmp", png, "not a Windows BMP"},
    };
    for (const auto &c : cases) {
        const QString path = dir.filePath(QLatin1String(c.name));
        writeTestFile(path, c.bytes);
        QString why;
        QVERIFY2(LoadPicture(path, &why).isNull(), c.name);
        QVERIFY2(why.contains(QLatin1String(c.why)), qPrintable(why));
    }
    QString why;
    QVERIFY(LoadPicture(dir.filePath("gone.bmp"), &why).isNull());
    QVERIFY(why.contains("no such file"));
    QVERIFY(LoadPicture(dir.path(), &why).isNull());
    const QString fifo = dir.filePath("fifo.bmp");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(LoadPicture(fifo, &why).isNull()); // returns at once instead of waiting for a writer
    QVERIFY(why.contains("not a regular file"));
}

void TstFramePictures::loadTakesEveryDepth() {
    QTemporaryDir dir;
    QImage mono(33, 7, QImage::Format_Mono);
    mono.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 50)});
    mono.fill(1);
    mono.setPixel(3, 2, 0);
    QImage indexed(30, 20, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(1, 2, 3), qRgb(27, 27, 27), qRgb(250, 0, 9)});
    indexed.fill(2);
    indexed.setPixel(29, 19, 1);
    QImage rgb16(10, 10, QImage::Format_RGB16);
    rgb16.fill(qRgb(0, 0, 255));
    QImage rgb24 = pattern(17, 5).convertToFormat(QImage::Format_RGB888);
    QImage argb(9, 3, QImage::Format_ARGB32);
    argb.fill(qRgba(10, 20, 30, 40));
    for (const QImage &source : {mono, indexed, rgb16, rgb24, argb}) {
        const QString path = dir.filePath(QStringLiteral("depth%1.bmp").arg(source.depth()));
        writeTestFile(path, bmpBytes(source));
        QString why;
        const QImage loaded = LoadPicture(path, &why);
        QVERIFY2(!loaded.isNull(), qPrintable(why));
        QCOMPARE(loaded.format(), QImage::Format_RGB32);
        QCOMPARE(loaded.size(), source.size());
        for (int y = 0; y < source.height(); ++y)
            for (int x = 0; x < source.width(); ++x)
                QCOMPARE(loaded.pixel(x, y) & 0xFFFFFF, source.pixel(x, y) & 0xFFFFFF);
    }
}

void TstFramePictures::gradient() {
    const TColorRef black = 0;
    const TColorRef mauve = 200 | 128 << 8 | 200 << 16;
    const QRgb halfway = qRgb(100, 64, 100);
    const QImage horizontal = GradientPicture(GRADIENT_HORIZONTAL, black, mauve);
    QCOMPARE(horizontal.size(), QSize(720, 576));
    QCOMPARE(horizontal.pixel(0, 300), qRgb(0, 0, 0));
    QCOMPARE(horizontal.pixel(360, 0), halfway);
    QCOMPARE(horizontal.pixel(360, 575), halfway);
    QCOMPARE(horizontal.pixel(719, 10), qRgb(200, 128, 200));
    const QImage vertical = GradientPicture(GRADIENT_VERTICAL, black, mauve);
    QImage row(720, 1, QImage::Format_RGB32);
    row.fill(halfway);
    QCOMPARE(vertical.copy(0, 288, 720, 1), row);
    QCOMPARE(vertical.pixel(700, 0), qRgb(0, 0, 0));

    QImage flat(720, 576, QImage::Format_RGB32);
    flat.fill(qRgb(200, 128, 200));
    QCOMPARE(GradientPicture(GRADIENT_HORIZONTAL, mauve, mauve), flat);

    // Red 0 to 2 over four columns: 0, 0.5, 1, 1.5 round to 0, 0, 1, 2.
    QImage strip(4, 1, QImage::Format_RGB32);
    FillGradient(strip, QRect(0, 0, 4, 1), GRADIENT_HORIZONTAL, 0, 0, 2, 0);
    QCOMPARE(QList<int>({qRed(strip.pixel(0, 0)), qRed(strip.pixel(1, 0)), qRed(strip.pixel(2, 0)),
                         qRed(strip.pixel(3, 0))}),
             QList<int>({0, 0, 1, 2}));

    // A border of one pixel inside the rectangle; the gradient's last column lies just outside it.
    QImage framed(5, 4, QImage::Format_RGB32);
    framed.fill(Qt::white);
    const TColorRef blue = 255 << 16;
    FillGradient(framed, QRect(0, 0, 4, 3), GRADIENT_HORIZONTAL, 1, 2, 6, blue);
    QCOMPARE(framed.pixel(1, 1), qRgb(3, 0, 0));
    QCOMPARE(framed.pixel(2, 1), qRgb(4, 0, 0));
    QCOMPARE(framed.pixel(4, 2), qRgb(6, 0, 0));
    QCOMPARE(framed.pixel(0, 0), qRgb(0, 0, 255));
    QCOMPARE(framed.pixel(3, 2), qRgb(0, 0, 255));
    QCOMPARE(framed.pixel(1, 3), qRgb(255, 255, 255));
    // Another direction draws the border only.
    framed.fill(Qt::white);
    FillGradient(framed, QRect(0, 0, 4, 3), 2, 1, 2, 6, blue);
    QCOMPARE(framed.pixel(1, 1), qRgb(255, 255, 255));
    QCOMPARE(framed.pixel(3, 1), qRgb(0, 0, 255));
}

QTEST_GUILESS_MAIN(TstFramePictures)
#include "tst_frame_pictures.moc"
