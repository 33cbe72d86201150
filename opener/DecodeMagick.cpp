// Pictures decoded in this process by ImageMagick's Magick++ (docs/linux.md
// says why this library). It is handed the bytes and the kind they were told
// to be, never a name, so a name is only a name and only the coders of those
// kinds ever run.
#include <Magick++.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "image/Format.h"
#include "image/Square.h"
#include "opener/Decode.h"

namespace {

const char* coderFor(PictureFormat format) {
    switch (format) {
        case PictureFormat::png:
            return "PNG";
        case PictureFormat::jpeg:
            return "JPEG";
        case PictureFormat::gif:
            return "GIF";
        case PictureFormat::webp:
            return "WEBP";
        case PictureFormat::tiff:
            return "TIFF";
        case PictureFormat::bmp:
            return "BMP";
        case PictureFormat::ico:
            return "ICO";
        case PictureFormat::tga:
            return "TGA";
        case PictureFormat::unknown:
            break;
    }
    return nullptr;
}

// The sRGB profile that icc-profiles-free installs, or none.
Magick::Blob sRGBProfile() {
    std::ifstream file("/usr/share/color/icc/sRGB.icc", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    return Magick::Blob(bytes.data(), bytes.size());
}

// ImageMagick's limits here, as a person reads them.
std::string limits() {
    std::ostringstream said;
    said << "width " << Magick::ResourceLimits::width() << ", height "
         << Magick::ResourceLimits::height() << ", area "
         << Magick::ResourceLimits::area() / 1000000 << " megapixels, disk "
         << Magick::ResourceLimits::disk() / (1 << 20) << " MiB";
    return said.str();
}

std::size_t bigEndian(const std::uint8_t* at) {
    return std::size_t(at[0]) << 24 | std::size_t(at[1]) << 16 | std::size_t(at[2]) << 8 | at[3];
}

std::string tooLarge(const std::string& name) {
    return "'" + name + "' is too large for ImageMagick here (its limits: " + limits() + ")";
}

std::string damaged(const std::string& name, const char* coder) {
    return "'" + name + "' is damaged: ImageMagick cannot read it as " + coder;
}

bool hasAlpha(const Magick::Image& image) {
#if MagickLibVersion >= 0x700
    return image.alpha();
#else
    return image.matte();
#endif
}

// The image laid at its offset on a white canvas of the given size, with
// nothing see-through left.
Magick::Image onWhite(const Magick::Image& image, const Magick::Geometry& canvas) {
    Magick::Image white(Magick::Geometry(canvas.width(), canvas.height()), "white");
    white.composite(image, canvas.xOff(), canvas.yOff(), Magick::OverCompositeOp);
    return white;
}

}  // namespace

void startDecoder(const std::string& folder) {
    // Its files where the opener removes them, whatever it ends by.
    setenv("MAGICK_TEMPORARY_PATH", folder.c_str(), 1);
    Magick::InitializeMagick(nullptr);
}

Picture decode(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    const char* coder = coderFor(pictureFormat(bytes.data(), bytes.size(), name));
    if (!coder) {
        throw Refusal(
            "'" + name +
            "' is no picture orvalis reads (PNG, JPEG, GIF, WebP, TIFF, BMP, ICO or TGA)");
    }
    const Magick::Blob blob(bytes.data(), bytes.size());
    Magick::Image image;
    image.quiet(true);
    image.magick(coder);
    // Its first frame alone, as a browser shows a GIF, a WebP or a TIFF.
    image.subRange(1);
    Magick::Geometry pinged;
    try {
        image.ping(blob);
        pinged = Magick::Geometry(image.columns(), image.rows());
    } catch (const Magick::Exception&) {
    }
    // A PNG over the limits pings as 0 x 0, or not at all; its header says
    // its size.
    if (pinged.width() == 0 && std::string(coder) == "PNG" && bytes.size() >= 24) {
        pinged = Magick::Geometry(bigEndian(&bytes[16]), bigEndian(&bytes[20]));
    }
    try {
        // A JPEG decoded at the smallest scale that still fills the square:
        // faster, and within the limits for a camera's largest photos.
        const int side = squareSide(int(pinged.width()), int(pinged.height()));
        const std::string square = std::to_string(side) + "x" + std::to_string(side);
        image.defineValue("jpeg", "size", square);
        image.read(blob);
    } catch (const Magick::Exception&) {
    }
    // Some coders read nothing, rather than fail, over the limits.
    if (image.columns() == 0 || image.rows() == 0) {
        throw Refusal(pinged.width() > Magick::ResourceLimits::width() ||
                              pinged.height() > Magick::ResourceLimits::height() ||
                              std::uint64_t(pinged.width()) * pinged.height() >
                                  Magick::ResourceLimits::area()
                          ? tooLarge(name)
                          : damaged(name, coder));
    }
    const int side = squareSide(int(image.columns()), int(image.rows()));
    try {
        // Upright as a camera's EXIF orientation, or a TIFF's, says. A Targa
        // picture's orientation says how its rows were stored, which the
        // coder has undone already.
        if (std::string(coder) != "TGA") {
            image.autoOrient();
        }
        // In sRGB, as browsers show it: a colour profile converted, and CMYK.
        const Magick::Blob sRGB = sRGBProfile();
        if (image.iccColorProfile().length() > 0 && sRGB.length() > 0) {
            image.profile("ICC", sRGB);
        }
        if (image.colorSpace() != Magick::sRGBColorspace &&
            image.colorSpace() != Magick::GRAYColorspace) {
            image.colorSpace(Magick::sRGBColorspace);
        }
        // A GIF's frame where it lies on its canvas, the rest see-through.
        const Magick::Geometry canvas = image.page();
        if (std::string(coder) == "GIF" && canvas.width() > 0 && canvas.height() > 0) {
            image = onWhite(image, canvas);
        }
        // Averaged over whole blocks first where the picture is twice the
        // square or more, so that few pixels are handed on.
        const std::size_t across = std::max<std::size_t>(1, image.columns() / std::size_t(side));
        const std::size_t down = std::max<std::size_t>(1, image.rows() / std::size_t(side));
        if (across > 1 || down > 1) {
            Magick::Geometry fewer(image.columns() / across, image.rows() / down);
            fewer.aspect(true);
            image.scale(fewer);
        }
        if (hasAlpha(image)) {
            image = onWhite(image, Magick::Geometry(image.columns(), image.rows()));
        }
        // Opaque now, so premultiplied as it is.
        Picture picture{int(image.columns()), int(image.rows()), {}};
        picture.pixels.resize(std::size_t(picture.width) * picture.height * 4);
        image.write(0, 0, image.columns(), image.rows(), "BGRA", Magick::CharPixel,
                    picture.pixels.data());
        return picture;
    } catch (const Magick::Exception&) {
        throw Refusal(damaged(name, coder));
    }
}
