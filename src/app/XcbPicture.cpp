// Pictures put into an X window with PutImage; UI thread.
#include "XcbPicture.h"

#include "X11Connection.h"

#include <QSysInfo>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace quimbrel {

namespace {

// A reply that frees itself.
template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

// The 32-bit ZPixmap layout of a depth, or null when the server has none.
const xcb_format_t* pixmapFormat(const xcb_setup_t* setup, std::uint8_t depth) {
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
        if (it.data->depth == depth)
            return it.data;
    return nullptr;
}

const xcb_visualtype_t* findVisual(const xcb_setup_t* setup, xcb_visualid_t id) {
    for (auto screen = xcb_setup_roots_iterator(setup); screen.rem; xcb_screen_next(&screen))
        for (auto depth = xcb_screen_allowed_depths_iterator(screen.data); depth.rem; xcb_depth_next(&depth))
            for (auto visual = xcb_depth_visuals_iterator(depth.data); visual.rem;
                 xcb_visualtype_next(&visual))
                if (visual.data->visual_id == id)
                    return visual.data;
    return nullptr;
}

} // namespace

std::unique_ptr<XcbPicture> XcbPicture::create() {
    xcb_connection_t* c = x11Connection();
    if (!c || xcb_connection_has_error(c))
        return nullptr;
    // QImage's 32-bit pixels are 0xAARRGGBB words in the machine's order.
    const bool littleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    if (xcb_get_setup(c)->image_byte_order !=
        (littleEndian ? XCB_IMAGE_ORDER_LSB_FIRST : XCB_IMAGE_ORDER_MSB_FIRST))
        return nullptr;
    return std::unique_ptr<XcbPicture>(new XcbPicture(c));
}

XcbPicture::XcbPicture(xcb_connection_t* connection) : m_connection(connection) {}

XcbPicture::~XcbPicture() {
    if (m_gc)
        xcb_free_gc(m_connection, m_gc);
}

void XcbPicture::attach(std::uint32_t window) {
    if (m_gc)
        xcb_free_gc(m_connection, m_gc);
    m_gc = 0;
    m_window = window;
    // Once per window: its depth and visual decide whether our pixels can go in unchanged.
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr), &std::free);
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, window),
                                        nullptr),
        &std::free);
    if (!geometry || !attributes)
        return;
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    const xcb_format_t* format = pixmapFormat(setup, geometry->depth);
    const xcb_visualtype_t* visual = findVisual(setup, attributes->visual);
    if (!format || format->bits_per_pixel != 32 || !visual || visual->red_mask != 0xff0000u ||
        visual->green_mask != 0xff00u || visual->blue_mask != 0xffu ||
        (geometry->depth != 24 && geometry->depth != 32))
        return;
    m_depth = geometry->depth;
    m_gc = xcb_generate_id(m_connection);
    xcb_create_gc(m_connection, m_gc, window, 0, nullptr);
}

bool XcbPicture::put(WId window, const QImage& image, const std::vector<QRect>& rects) {
    if (image.depth() != 32 || xcb_connection_has_error(m_connection))
        return false;
    const auto id = static_cast<std::uint32_t>(window);
    // A window whose pixels do not fit is looked at once and then refused without asking the server again.
    if (id != m_window)
        attach(id);
    if (!m_gc)
        return false;
    for (const QRect& rect : rects)
        putRect(image, rect.intersected(image.rect()));
    xcb_flush(m_connection);
    return true;
}

void XcbPicture::putRect(const QImage& image, const QRect& area) {
    if (area.isEmpty())
        return;
    // As many scan lines as one request may carry (the server's limit counts 4-byte units, the request's own
    // fields included). Lines narrower than the image are gathered into one run first; the request is copied
    // or written out before xcb_put_image returns, so the run can be reused.
    const int width = area.width();
    const auto lineBytes = static_cast<std::uint32_t>(width) * 4u;
    const std::uint32_t maxBytes = xcb_get_maximum_request_length(m_connection) * 4u;
    const std::uint32_t header = sizeof(xcb_put_image_request_t);
    const int perRequest = static_cast<int>(std::max<std::uint32_t>(1, (maxBytes - header) / lineBytes));
    const bool whole = width == image.width() && image.bytesPerLine() == image.width() * 4;
    for (int y = area.top(); y <= area.bottom(); y += perRequest) {
        const int count = std::min(perRequest, area.bottom() + 1 - y);
        const std::uint8_t* data = image.constScanLine(y);
        if (!whole) {
            m_lines.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i)
                std::memcpy(m_lines.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(width),
                            reinterpret_cast<const QRgb*>(image.constScanLine(y + i)) + area.left(),
                            lineBytes);
            data = reinterpret_cast<const std::uint8_t*>(m_lines.data());
        }
        xcb_put_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_window, m_gc,
                      static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(count),
                      static_cast<std::int16_t>(area.left()), static_cast<std::int16_t>(y), 0, m_depth,
                      lineBytes * static_cast<std::uint32_t>(count), data);
    }
}

} // namespace quimbrel
