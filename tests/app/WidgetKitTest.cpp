// The skin's scale and the widget kit's contracts.
#include "AppFixture.h"

#include "SkinEngine.h"
#include "SpectrumView.h"
#include "widgets/Knob.h"
#include "widgets/Lamp.h"
#include "widgets/SvgImageList.h"

#include <QSignalSpy>
#include <QTemporaryFile>
#include <QWheelEvent>

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
