// GraphicsMagick behind CoverPicture. The format is told from the data's signature before the library
// sees it, so only the picture coders listed here are ever run on downloaded bytes.
#include "CoverPicture.h"

#include <Magick++.h>

#include <mutex>

namespace quimbrel::tagger {

namespace {

struct Signature {
    std::string_view magic;
    const char* coder;
    PictureFormat format;
};

// WebP has no row of its own in the MIME table: it is embedded as PNG.
struct Detected {
    const char* coder = nullptr;
    PictureFormat format = PictureFormat::None;
};

Detected detect(std::string_view b) {
    static constexpr Signature kSignatures[] = {
        {"\x89PNG\r\n\x1a\n", "PNG", PictureFormat::Png},
        {"\xff\xd8\xff", "JPEG", PictureFormat::Jpeg},
        {"GIF87a", "GIF", PictureFormat::Gif},
        {"GIF89a", "GIF", PictureFormat::Gif},
        {"BM", "BMP", PictureFormat::Bmp},
        {std::string_view("II*\0", 4), "TIFF", PictureFormat::Tiff},
        {std::string_view("MM\0*", 4), "TIFF", PictureFormat::Tiff},
    };
    for (const Signature& s : kSignatures) {
        if (b.substr(0, s.magic.size()) == s.magic)
            return {s.coder, s.format};
    }
    if (b.size() >= 12 && b.substr(0, 4) == "RIFF" && b.substr(8, 4) == "WEBP")
        return {"WEBP", PictureFormat::Other};
    return {};
}

void initialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        Magick::InitializeMagick(nullptr);
        MagickLib::SetMagickResourceLimit(MagickLib::WidthResource,
                                          static_cast<MagickLib::magick_int64_t>(CoverPicture::kMaxSide));
        MagickLib::SetMagickResourceLimit(MagickLib::HeightResource,
                                          static_cast<MagickLib::magick_int64_t>(CoverPicture::kMaxSide));
        MagickLib::SetMagickResourceLimit(
            MagickLib::PixelsResource,
            static_cast<MagickLib::magick_int64_t>(CoverPicture::kMaxSide * CoverPicture::kMaxSide));
        // Keep the pixel cache in memory; a cover never needs disk.
        MagickLib::SetMagickResourceLimit(MagickLib::DiskResource, 0);
    });
}

} // namespace

struct CoverPicture::Image {
    Magick::Image image;
};

CoverPicture::CoverPicture() = default;
CoverPicture::~CoverPicture() = default;

void CoverPicture::clear() {
    m_image.reset();
    m_format = PictureFormat::None;
}

bool CoverPicture::decode(std::string_view bytes) {
    clear();
    if (bytes.empty() || bytes.size() > kMaxBytes)
        return false;
    const Detected kind = detect(bytes);
    if (kind.coder == nullptr)
        return false;
    initialiseLibrary();
    try {
        Magick::Blob blob(bytes.data(), bytes.size());
        // The header alone first, so an oversized picture is refused before its pixels are decoded.
        Magick::Image probe;
        probe.magick(kind.coder);
        probe.ping(blob);
        if (probe.columns() == 0 || probe.rows() == 0 || probe.columns() > kMaxSide ||
            probe.rows() > kMaxSide)
            return false;
        auto image = std::make_unique<Image>();
        image->image.magick(kind.coder);
        image->image.read(blob);
        if (image->image.columns() == 0 || image->image.rows() == 0)
            return false;
        m_image = std::move(image);
        m_format = kind.format;
        return true;
    } catch (const std::exception&) {
        // Warnings (a damaged picture) count as failure as well.
        clear();
        return false;
    }
}

std::string CoverPicture::mimeType() const {
    switch (m_format) {
    case PictureFormat::Bmp:
        return "image/bmp";
    case PictureFormat::Jpeg:
        return "image/jpg";
    case PictureFormat::Gif:
        return "image/gif";
    case PictureFormat::Tiff:
        return "image/tiff";
    case PictureFormat::Png:
    case PictureFormat::Other:
    case PictureFormat::None:
        break;
    }
    return "image/png";
}

std::string CoverPicture::extension() const {
    switch (m_format) {
    case PictureFormat::Bmp:
        return ".bmp";
    case PictureFormat::Jpeg:
        return ".jpg";
    case PictureFormat::Gif:
        return ".gif";
    case PictureFormat::Tiff:
        return ".tiff";
    case PictureFormat::Png:
    case PictureFormat::Other:
    case PictureFormat::None:
        break;
    }
    return ".png";
}

std::string CoverPicture::encoded() const {
    if (!m_image)
        return {};
    const char* coder = "PNG";
    switch (m_format) {
    case PictureFormat::Bmp:
        coder = "BMP";
        break;
    case PictureFormat::Jpeg:
        coder = "JPEG";
        break;
    case PictureFormat::Gif:
        coder = "GIF";
        break;
    case PictureFormat::Tiff:
        coder = "TIFF";
        break;
    case PictureFormat::Png:
    case PictureFormat::Other:
    case PictureFormat::None:
        break;
    }
    try {
        Magick::Image copy = m_image->image;
        copy.magick(coder);
        Magick::Blob out;
        copy.write(&out);
        return std::string(static_cast<const char*>(out.data()), out.length());
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace quimbrel::tagger
