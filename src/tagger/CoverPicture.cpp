// GraphicsMagick behind CoverPicture. The format is told from the data's signature before the library
// sees it, so only the picture coders listed here are ever run on downloaded bytes. The library is loaded
// on the first picture rather than linked: only tag mode with a cover to embed needs it, and it would
// otherwise add its many coder libraries to every start of the tagger.
#include "CoverPicture.h"

#include <dlfcn.h>
#include <magick/api.h>

#include <cstdio>
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

struct MagickApi {
    decltype(&InitializeMagick) initialize = nullptr;
    decltype(&SetMagickResourceLimit) setResourceLimit = nullptr;
    decltype(&GetExceptionInfo) getException = nullptr;
    decltype(&DestroyExceptionInfo) destroyException = nullptr;
    decltype(&CloneImageInfo) cloneImageInfo = nullptr;
    decltype(&DestroyImageInfo) destroyImageInfo = nullptr;
    decltype(&PingBlob) pingBlob = nullptr;
    decltype(&BlobToImage) blobToImage = nullptr;
    decltype(&ImageToBlob) imageToBlob = nullptr;
    decltype(&DestroyImage) destroyImage = nullptr;
    decltype(&DestroyImageList) destroyImageList = nullptr;
    decltype(&MagickFree) free = nullptr;
};

template <typename F> bool bind(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(dlsym(library, name));
    return function != nullptr;
}

const MagickApi* loadMagick() {
    static MagickApi api;
    void* library = dlopen("libGraphicsMagick-Q16.so.3", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        return nullptr;
    const bool bound =
        bind(library, "InitializeMagick", api.initialize) &&
        bind(library, "SetMagickResourceLimit", api.setResourceLimit) &&
        bind(library, "GetExceptionInfo", api.getException) &&
        bind(library, "DestroyExceptionInfo", api.destroyException) &&
        bind(library, "CloneImageInfo", api.cloneImageInfo) &&
        bind(library, "DestroyImageInfo", api.destroyImageInfo) && bind(library, "PingBlob", api.pingBlob) &&
        bind(library, "BlobToImage", api.blobToImage) && bind(library, "ImageToBlob", api.imageToBlob) &&
        bind(library, "DestroyImage", api.destroyImage) &&
        bind(library, "DestroyImageList", api.destroyImageList) && bind(library, "MagickFree", api.free);
    if (!bound)
        return nullptr;
    api.initialize(nullptr);
    api.setResourceLimit(WidthResource, static_cast<magick_int64_t>(CoverPicture::kMaxSide));
    api.setResourceLimit(HeightResource, static_cast<magick_int64_t>(CoverPicture::kMaxSide));
    api.setResourceLimit(PixelsResource,
                         static_cast<magick_int64_t>(CoverPicture::kMaxSide * CoverPicture::kMaxSide));
    // The pixel cache stays in memory and within what the largest allowed picture needs (Q16: eight bytes
    // a pixel), so that no picture costs more than that, whatever its header claims.
    api.setResourceLimit(MemoryResource, static_cast<magick_int64_t>(CoverPicture::kMaxMemory));
    api.setResourceLimit(MapResource, 0);
    api.setResourceLimit(DiskResource, 0);
    return &api;
}

// Loaded and set up once per process; null when the library is missing, which makes every picture fail.
const MagickApi* magick() {
    static const MagickApi* const api = loadMagick();
    return api;
}

// One library call's exception record. Only errors count as failure: warnings (an unknown TIFF tag, a bad
// checksum on an optional PNG chunk) are common in pictures that decode perfectly well.
class Exception {
public:
    explicit Exception(const MagickApi& api) : m_api(api) { m_api.getException(&m_info); }
    ~Exception() { m_api.destroyException(&m_info); }
    Exception(const Exception&) = delete;
    Exception& operator=(const Exception&) = delete;
    ExceptionInfo* get() { return &m_info; }
    bool raised() const { return m_info.severity >= ErrorException; }

private:
    const MagickApi& m_api;
    ExceptionInfo m_info;
};

// Reading and writing settings naming the coder to use.
class Settings {
public:
    Settings(const MagickApi& api, const char* coder) : m_api(api), m_info(api.cloneImageInfo(nullptr)) {
        if (m_info != nullptr)
            std::snprintf(m_info->magick, sizeof m_info->magick, "%s", coder);
    }
    ~Settings() {
        if (m_info != nullptr)
            m_api.destroyImageInfo(m_info);
    }
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;
    ImageInfo* get() const { return m_info; }

private:
    const MagickApi& m_api;
    ImageInfo* m_info;
};

} // namespace

struct CoverPicture::Image {
    const MagickApi& api;
    ::Image* image;
    Image(const MagickApi& a, ::Image* i) : api(a), image(i) {}
    ~Image() { api.destroyImage(image); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
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
    const MagickApi* api = magick();
    if (api == nullptr)
        return false;
    // The header alone first, so an oversized picture is refused before its pixels are decoded.
    {
        Settings settings(*api, kind.coder);
        Exception exception(*api);
        if (settings.get() == nullptr)
            return false;
        ::Image* probe = api->pingBlob(settings.get(), bytes.data(), bytes.size(), exception.get());
        const bool fits = probe != nullptr && !exception.raised() && probe->columns > 0 && probe->rows > 0 &&
                          probe->columns <= kMaxSide && probe->rows <= kMaxSide;
        if (probe != nullptr)
            api->destroyImageList(probe);
        if (!fits)
            return false;
    }
    Settings settings(*api, kind.coder);
    Exception exception(*api);
    if (settings.get() == nullptr)
        return false;
    ::Image* read = api->blobToImage(settings.get(), bytes.data(), bytes.size(), exception.get());
    if (read == nullptr)
        return false;
    // The first frame is the picture; further frames of an animation or pages of a TIFF are dropped.
    if (read->next != nullptr) {
        ::Image* rest = read->next;
        read->next = nullptr;
        rest->previous = nullptr;
        api->destroyImageList(rest);
    }
    auto image = std::make_unique<Image>(*api, read);
    if (exception.raised() || read->columns == 0 || read->rows == 0)
        return false;
    m_image = std::move(image);
    m_format = kind.format;
    return true;
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
    const MagickApi& api = m_image->api;
    Settings settings(api, coder);
    Exception exception(api);
    if (settings.get() == nullptr)
        return {};
    std::snprintf(m_image->image->magick, sizeof m_image->image->magick, "%s", coder);
    std::size_t length = 0;
    void* blob = api.imageToBlob(settings.get(), m_image->image, &length, exception.get());
    std::string out;
    if (blob != nullptr && !exception.raised())
        out.assign(static_cast<const char*>(blob), length);
    if (blob != nullptr)
        api.free(blob);
    return out;
}

} // namespace quimbrel::tagger
