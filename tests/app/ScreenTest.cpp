// The windows as the X server shows them: the root window's pixels where a window is, compared with the
// window's own picture. Inside the window's shape the screen must show the picture, outside it the desktop.
// Runs on the xcb platform against Xvfb (scripts/with-services), at the scale QT_SCALE_FACTOR gives.
#include "AppFixture.h"

#include "SpectrumView.h"
#include "TMainForm.h"
#include "Tcmanager.h"
#include "Tnamingrules.h"
#include "widgets/SvgImageList.h"

#include "ports/MessagePort.h"
#include "recording/Recorder.h"
#include "recording/RecordingState.h"
#include "state/config.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace quimbrel;
using namespace apptest;

namespace {

// Our own connection to the X server, beside Qt's.
class XScreen {
public:
    XScreen() {
        int number = 0;
        m_conn = xcb_connect(nullptr, &number);
        if (xcb_connection_has_error(m_conn))
            return;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_conn));
        for (int i = 0; i < number && it.rem; ++i)
            xcb_screen_next(&it);
        if (!it.rem)
            return;
        m_root = it.data->root;
        // Only the usual true-colour layout is read: 24 bits deep in 32-bit little-endian pixels.
        const xcb_setup_t* setup = xcb_get_setup(m_conn);
        xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(setup);
        for (; f.rem; xcb_format_next(&f))
            if (f.data->depth == it.data->root_depth)
                m_usable = it.data->root_depth == 24 && f.data->bits_per_pixel == 32 &&
                           setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    }
    ~XScreen() { xcb_disconnect(m_conn); }
    XScreen(const XScreen&) = delete;
    XScreen& operator=(const XScreen&) = delete;

    bool usable() const { return m_usable; }

    // What the screen shows in r (screen pixels).
    QImage capture(const QRect& r) const {
        xcb_get_image_cookie_t cookie =
            xcb_get_image(m_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, static_cast<int16_t>(r.x()),
                          static_cast<int16_t>(r.y()), static_cast<uint16_t>(r.width()),
                          static_cast<uint16_t>(r.height()), ~0u);
        std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> reply(
            xcb_get_image_reply(m_conn, cookie, nullptr), &std::free);
        if (!reply || xcb_get_image_data_length(reply.get()) < static_cast<int>(r.width() * r.height() * 4))
            return {};
        QImage image(xcb_get_image_data(reply.get()), r.width(), r.height(), r.width() * 4,
                     QImage::Format_RGB32);
        return image.copy();
    }

    // Where the native window is on the screen, in screen pixels.
    QRect placement(WId window) const {
        const auto w = static_cast<xcb_window_t>(window);
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
            xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, w), nullptr), &std::free);
        std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&std::free)> at(
            xcb_translate_coordinates_reply(m_conn, xcb_translate_coordinates(m_conn, w, m_root, 0, 0),
                                            nullptr),
            &std::free);
        if (!geometry || !at)
            return {};
        return QRect(at->dst_x, at->dst_y, geometry->width, geometry->height);
    }

    // A plain desktop: the pictures read better, and any colour the window does not use will do.
    void paintDesktop(uint32_t rgb) const {
        xcb_change_window_attributes(m_conn, m_root, XCB_CW_BACK_PIXEL, &rgb);
        xcb_clear_area(m_conn, 0, m_root, 0, 0, 0, 0);
        free(xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr)); // a round trip
    }

private:
    xcb_connection_t* m_conn = nullptr;
    xcb_window_t m_root = 0;
    bool m_usable = false;
};

bool near(QRgb a, QRgb b) {
    const int tolerance = 8;
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// How the screen compares with the window's picture inside the shape and with the desktop outside it.
struct Comparison {
    long inside = 0, insideSame = 0, outside = 0, outsideSame = 0;
    bool good() const {
        // A few edge pixels may differ; a shape that is wrong anywhere that matters shows in far more.
        return inside > 0 && insideSame * 1000 >= inside * 995 && outsideSame * 1000 >= outside * 995;
    }
};

std::ostream& operator<<(std::ostream& out, const Comparison& c) {
    return out << c.insideSame << " of " << c.inside << " pixels inside the shape show the window, "
               << c.outsideSame << " of " << c.outside << " outside it show the desktop";
}

const QRgb kDesktop = qRgb(0xee, 0xee, 0xee);

// Where the skin should show at `size`: every pixel of its picture but the navy ones.
QImage skinShape(const QSize& size) {
    SvgImageList skin;
    skin.add(QStringLiteral(":/quimbrel/background.svg"));
    const QImage picture = skin.image(0, size).convertToFormat(QImage::Format_RGB32);
    QImage shape(size, QImage::Format_Grayscale8);
    for (int y = 0; y < size.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        uchar* out = shape.scanLine(y);
        for (int x = 0; x < size.width(); ++x)
            out[x] = (p[x] & 0xffffff) != 0x000080;
    }
    return shape;
}

class ScreenTest : public AppTest {
protected:
    void SetUp() override {
        if (QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")) != QStringLiteral("xcb") ||
            !std::getenv("QUIMBREL_TEST_DISPLAY"))
            GTEST_SKIP() << "needs Xvfb and the xcb platform (scripts/with-services)";
        AppTest::SetUp();
        if (IsSkipped())
            return;
        m_x = std::make_unique<XScreen>();
        if (!m_x->usable())
            GTEST_SKIP() << "the X screen is not 24-bit true colour";
        m_x->paintDesktop(kDesktop & 0xffffff);
    }

    // Compares the screen where the window is with its own picture. `shape` is where the window should show,
    // in the window's own coordinates (null: all of it); the window's mask is not trusted for that.
    Comparison compare(QWidget* window, const QImage& shape, QImage* seen = nullptr) const {
        const QRect where = m_x->placement(window->winId());
        const QImage screen = m_x->capture(where);
        const QImage picture = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
        Comparison c;
        if (screen.isNull() || picture.size() != where.size())
            return c;
        const qreal ratio = window->devicePixelRatioF();
        for (int y = 0; y < where.height(); ++y) {
            const auto* s = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
            const auto* p = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
            const uchar* in =
                shape.isNull() ? nullptr : shape.constScanLine(std::min(shape.height() - 1, int(y / ratio)));
            for (int x = 0; x < where.width(); ++x) {
                if (!in || in[std::min(shape.width() - 1, int(x / ratio))]) {
                    ++c.inside;
                    c.insideSame += near(s[x], p[x]);
                } else {
                    ++c.outside;
                    c.outsideSame += near(s[x], kDesktop);
                }
            }
        }
        if (seen)
            *seen = screen;
        return c;
    }

    // Waits until the screen shows the window (a picture may be on its way to the server), then saves what
    // the screen shows to <build>/screenshots/<name>.png.
    void expectOnScreen(QWidget* window, const QString& name, const QImage& shape = {}) {
        ASSERT_TRUE(
            waitUntil([&] { return window->isVisible() && m_x->placement(window->winId()).isValid(); }));
        Comparison last;
        QImage seen;
        // Retried: the picture may be a moment ahead of the screen (a clock or spectrum that just changed).
        const bool shown = waitUntil([&] {
            last = compare(window, shape, &seen);
            return last.good();
        });
        EXPECT_TRUE(shown) << name.toStdString() << ": " << last;
        const QString scale = QString::number(window->devicePixelRatioF());
        const QString dir = QStringLiteral(QUIMBREL_BINARY_DIR "/screenshots");
        QDir().mkpath(dir);
        if (!seen.isNull())
            seen.save(dir + QLatin1Char('/') + name + QStringLiteral("-x") + scale + QStringLiteral(".png"));
    }

    std::unique_ptr<XScreen> m_x;
};

} // namespace

TEST_F(ScreenTest, MainWindowShowsInsideItsShapeIdleAndRecording) {
    prepareSettings();
    auto window = startWindow();
    const qreal ratio = window->devicePixelRatioF();
    EXPECT_EQ(m_x->placement(window->winId()).size(),
              (QSizeF(506, 254) * window->skinScale() * ratio).toSize());
    const QImage shape = skinShape(window->size());
    expectOnScreen(window.get(), QStringLiteral("screen-main-idle"), shape);

    // A tone on the recorded sink, so the spectrum has something to show.
    QTemporaryDir tones;
    const QString wav = tones.path() + QStringLiteral("/tone.wav");
    writeSineWav(wav, 10.0, 44100, 440.0);
    QProcess player;
    player.start(QStringLiteral("paplay"), {wav});
    player.waitForStarted();
    window->recorder().StartClick();
    ASSERT_TRUE(window->recorder().state().writing);
    ASSERT_TRUE(waitUntil([&] { return window->timeText() == QStringLiteral("00:00:01"); }));
    expectOnScreen(window.get(), QStringLiteral("screen-main-recording"), shape);
    // On an unscaled X screen the spectrum's pictures went straight into its own X window (so the comparison
    // above covers that path); a scaled one paints them through the window as everything else.
    const auto* spectrum = window->findChild<SpectrumView*>();
    ASSERT_NE(spectrum, nullptr);
    EXPECT_EQ(spectrum->paintsNatively(), ratio == 1.0);
    window->recorder().StopClick();
    ASSERT_TRUE(waitUntil([&] { return !window->recorder().state().writing; }));
    player.kill();
    player.waitForFinished();
}

TEST_F(ScreenTest, SettingsWindowShowsWhole) {
    prepareSettings();
    auto window = startWindow();
    Tcmanager* settings = window->settings();
    settings->show();
    expectOnScreen(settings, QStringLiteral("screen-settings"));
    settings->hide();
}

TEST_F(ScreenTest, DialogsShowWhole) {
    config cfg;
    defaultconfig(cfg);
    RecordingMessagePort port;
    std::vector<std::string> names;
    Tnamingrules naming(cfg, names, nullptr, &port);
    naming.QDialog::show();
    expectOnScreen(&naming, QStringLiteral("screen-naming"));
    naming.hide();

    QMessageBox box(QMessageBox::Question, QStringLiteral("Quimbrel"), QStringLiteral("Stop the recording?"),
                    QMessageBox::Yes | QMessageBox::No);
    box.show();
    expectOnScreen(&box, QStringLiteral("screen-message"));
    box.hide();
}
