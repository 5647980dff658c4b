// The cover picture: a downloaded image decoded, its format told, and encoded again in that format for
// embedding, with the MIME type and file extension that go with it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace quimbrel::tagger {

enum class PictureFormat {
    None,
    Bmp,
    Png,
    Jpeg,
    Gif,
    Tiff,
    // Decoded, but of a kind without its own row in the table: embedded as PNG.
    Other,
};

class CoverPicture {
public:
    static constexpr std::size_t kMaxBytes = 32u << 20;
    // Far more than any cover needs; 4096 x 4096 in the decoder's 16-bit RGBA is 128 MiB.
    static constexpr std::size_t kMaxSide = 4096;
    static constexpr std::size_t kMaxMemory = 192u << 20;

    CoverPicture();
    ~CoverPicture();
    CoverPicture(const CoverPicture&) = delete;
    CoverPicture& operator=(const CoverPicture&) = delete;

    // Decodes bytes as a picture; false (and the picture empty) when they are not one of the formats
    // understood, are larger than kMaxBytes, or the picture is wider or higher than kMaxSide.
    bool decode(std::string_view bytes);
    void clear();
    bool empty() const { return m_format == PictureFormat::None; }
    PictureFormat format() const { return m_format; }

    // "image/jpg" for JPEG, as the stored files have always said.
    std::string mimeType() const;
    // ".jpg", ".png", ...; the embedded picture is described as "cover" followed by it.
    std::string extension() const;
    // The picture encoded again; empty when empty or when encoding fails.
    std::string encoded() const;

private:
    struct Image;
    std::unique_ptr<Image> m_image;
    PictureFormat m_format = PictureFormat::None;
};

} // namespace quimbrel::tagger
