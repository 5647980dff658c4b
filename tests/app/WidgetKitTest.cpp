// The skin's scale and the widget kit's contracts.
#include "AppFixture.h"

#include "SkinEngine.h"
#include "SpectrumView.h"
#include "widgets/Knob.h"
#include "widgets/Lamp.h"
#include "widgets/SvgImageList.h"

#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QWheelEvent>

#include <random>

using namespace quimbrel;
using namespace apptest;

TEST(SkinEngine, ScaleIsDensityToTheNearestHalfWithHalvesToEven) {
    const std::pair<double, double> cases[] = {{96, 1.0},  {120, 1.0}, {144, 1.5},
                                               {168, 2.0}, {192, 2.0}, {0, 1.0}};
    for (auto [dpi, scale] : cases)
        EXPECT_DOUBLE_EQ(skinscale(dpi), scale) << dpi;
    // At 144 pixels per inch every control is 1.5 times its designed size, halves going to even.
    EXPECT_EQ(skinrect(QRect(20, 40, 237, 73), 1.5), QRect(30, 60, 356, 110));
    EXPECT_EQ(skinrect(QRect(1, 3, 5, 7), 1.5), QRect(2, 4, 8, 10));
    EXPECT_EQ(skinrect(QRect(420, 170, 66, 66), 1.0), QRect(420, 170, 66, 66));
}

TEST(SkinEngine, ShapeIsExactlyThePixelsThatAreNotTheTransparentColour) {
    // Rows that repeat, a transparent row between equal rows, several runs on a row, a row touching both
    // edges, a translucent pixel of the transparent colour's hue (inside: only the opaque colour is cut out).
    const char* rows[] = {"........", ".XXXX...", ".XXXX...", "........", ".XXXX...",
                          "X.XX.XXX", "X.XX.XXX", "XXXXXXXX", "...T...."};
    const QRgb navy = qRgb(0, 0, 128);
    QImage picture(8, 9, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const char c = rows[y][x];
            picture.setPixel(x, y, c == '.' ? navy : c == 'T' ? qRgba(0, 0, 128, 100) : qRgb(40, 50, 60));
        }
    const QRegion shape = skinshape(picture, navy);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            EXPECT_EQ(shape.contains(QPoint(x, y)), rows[y][x] != '.') << x << "," << y;
    EXPECT_TRUE(skinshape(QImage(), navy).isEmpty());
}

TEST(WidgetKit, SpectrumAreaIsWholeCells) {
    ensureApplication();
    SpectrumView view;
    view.fitTo(QRect(20, 40, 237, 73));
    EXPECT_EQ(view.cellwidth(), 6);
    EXPECT_EQ(view.cellheight(), 2);
    EXPECT_EQ(view.geometry(), QRect(20, 40, 222, 72));
    // Silence: only the bottom cell row is lit (white) in every visible bar.
    TVisualBuffer silence{};
    view.DCSpectrumSpectrumData(silence);
    const QImage& frame = view.frame();
    EXPECT_EQ(frame.pixelColor(5, 71 - 1).rgb() & 0xffffff, 0xffffffu); // bottom cell of bar 0
    EXPECT_NE(frame.pixelColor(5, 30).rgb() & 0xffffff, 0xffffffu);     // above it: unlit
}

// A picture that would change no pixel is not repainted: silence settles after the trails have faded, a
// burst repaints at once, and the bars falling from it repaint until they rest again.
TEST(WidgetKit, SpectrumRepaintsOnlyPicturesThatChange) {
    ensureApplication();
    SpectrumView view;
    view.fitTo(QRect(20, 40, 237, 73));
    TVisualBuffer silence{};
    TVisualBuffer burst{};
    for (int k = 1; k < 512; ++k)
        burst[0][static_cast<std::size_t>(k)] = 70;
    auto feed = [&view](const TVisualBuffer& data, int pictures) {
        for (int i = 0; i < pictures; ++i)
            view.DCSpectrumSpectrumData(data);
    };

    feed(silence, 100);
    const long long settled = view.shownPictures();
    EXPECT_GT(settled, 0);
    EXPECT_LT(settled, 100);
    const QImage quiet = view.frame().copy();
    feed(silence, 20);
    EXPECT_EQ(view.shownPictures(), settled);
    EXPECT_EQ(view.frame(), quiet);

    feed(burst, 1);
    EXPECT_EQ(view.shownPictures(), settled + 1);
    EXPECT_EQ(view.frame().pixelColor(5, 2).rgb() & 0xffffff, 0xffffffu); // bar 0 lit to the top

    // Falling 10 pixels a picture from 70 and the peaks held and falling too: every picture changes.
    feed(silence, 8);
    EXPECT_EQ(view.shownPictures(), settled + 9);
    feed(silence, 200);
    const long long rested = view.shownPictures();
    feed(silence, 20);
    EXPECT_EQ(view.shownPictures(), rested);
    EXPECT_NE(view.frame().pixelColor(5, 2).rgb() & 0xffffff, 0xffffffu);
    EXPECT_EQ(view.frame().pixelColor(5, 70).rgb() & 0xffffff, 0xffffffu); // one lit cell again

    // New bitmaps (a new scale) start showing again.
    view.fitTo(QRect(20, 40, 237, 73));
    feed(silence, 1);
    EXPECT_EQ(view.shownPictures(), 1);
}

// Only the changed strips go to the screen: one rectangle per strip of a cell's width (from 2 pixels in,
// where the bars start, and the 2 pixels before), from its first to its last changed row.
TEST(WidgetKit, SpectrumSendsTheChangedStripsOnly) {
    QImage a(26, 10, QImage::Format_ARGB32_Premultiplied); // strips: 0-1, 2-7, 8-13, 14-19, 20-25
    a.fill(Qt::black);
    struct Case {
        std::vector<QPoint> changed;
        std::vector<QRect> rects;
    };
    const Case cases[] = {
        {{}, {}},
        {{{0, 0}}, {QRect(0, 0, 2, 1)}},
        {{{2, 3}, {7, 5}}, {QRect(2, 3, 6, 3)}},
        {{{8, 9}, {25, 0}, {1, 4}}, {QRect(0, 4, 2, 1), QRect(8, 9, 6, 1), QRect(20, 0, 6, 1)}},
    };
    std::vector<QRect> rects;
    for (const auto& c : cases) {
        QImage b = a.copy();
        for (const QPoint& p : c.changed)
            b.setPixel(p, qRgb(255, 255, 255));
        SpectrumView::changedRects(a, b, 6, rects);
        EXPECT_EQ(rects, c.rects) << c.changed.size() << " changed pixels";
    }
}

// The trail is built by hand 40 times a second; it must be exactly what the raster painter makes of the
// frame at 200/255 opacity over the unlit cells: the spectrum's own bitmaps after a burst, and any
// premultiplied pixels (translucent ones included).
TEST(WidgetKit, SpectrumTrailIsWhatThePainterMakes) {
    ensureApplication();
    SpectrumView view;
    view.fitTo(QRect(20, 40, 237, 73));
    TVisualBuffer burst{};
    for (int k = 1; k < 512; k += 3)
        burst[0][static_cast<std::size_t>(k)] = 40 + k % 30;
    view.DCSpectrumSpectrumData(burst);

    std::mt19937 random(7);
    auto premultiplied = [&random](QSize size) {
        QImage img(size, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const auto a = static_cast<int>(random() % 3 == 0 ? 255 : random() % 256);
                const auto c = [&] { return static_cast<int>(random() % static_cast<unsigned>(a + 1)); };
                img.setPixel(x, y, qRgba(c(), c(), c(), a));
            }
        return img;
    };
    QImage unlit(view.frame().size(), QImage::Format_ARGB32_Premultiplied);
    unlit.fill(QColor(29, 134, 208));
    const std::pair<QImage, QImage> cases[] = {{unlit, view.frame()},
                                               {premultiplied(QSize(67, 5)), premultiplied(QSize(67, 5))},
                                               {unlit.copy(0, 0, 67, 5), premultiplied(QSize(67, 5))}};
    for (const auto& [base, frame] : cases) {
        QImage painted = base.copy();
        {
            QPainter p(&painted);
            p.setOpacity(200.0 / 255.0);
            p.drawImage(0, 0, frame);
        }
        QImage trail(base.size(), QImage::Format_ARGB32_Premultiplied);
        SpectrumView::fadeOver(trail, base, frame, trail.rect());
        int differing = 0;
        QString first;
        for (int y = 0; y < trail.height(); ++y)
            for (int x = 0; x < trail.width(); ++x)
                if (trail.pixel(x, y) != painted.pixel(x, y) && differing++ == 0)
                    first = QString::asprintf("(%d,%d): %08x over %08x gives %08x, the painter %08x", x, y,
                                              frame.pixel(x, y), base.pixel(x, y), trail.pixel(x, y),
                                              painted.pixel(x, y));
        EXPECT_EQ(differing, 0) << base.width() << "x" << base.height() << ", first at "
                                << first.toStdString();
    }
}

TEST(WidgetKit, KnobStaysWithinOneToHundredAndReportsOnlyTheUsersTurns) {
    ensureApplication();
    Knob knob;
    knob.resize(60, 60);
    QSignalSpy changed(&knob, &Knob::valueChanged);
    knob.setValueQuietly(500);
    EXPECT_EQ(knob.value(), 100);
    knob.setValueQuietly(-3);
    EXPECT_EQ(knob.value(), 1);
    EXPECT_EQ(changed.count(), 0);
    QWheelEvent up(QPointF(30, 30), QPointF(30, 30), QPoint(), QPoint(0, 400), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&knob, &up);
    EXPECT_EQ(knob.value(), 11);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 11);
}

TEST(WidgetKit, SvgImageListRefusesWhatIsNotSvg) {
    ensureApplication();
    SvgImageList list;
    QTemporaryFile junk;
    ASSERT_TRUE(junk.open());
    junk.write("<svg but not really");
    junk.close();
    EXPECT_EQ(list.add(junk.fileName()), -1);
    EXPECT_EQ(list.add(QStringLiteral("/nonexistent.svg")), -1);
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(list.image(0, QSize(10, 10)).isNull());
    Lamp lamp(QStringLiteral("VOX"));
    lamp.setOn(true);
    EXPECT_TRUE(lamp.isOn());
}
