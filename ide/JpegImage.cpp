#include "ide/JpegImage.h"

#include <QFile>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace {

// libjpeg reports fatal errors through error_exit, which by default ends the
// process: here it jumps back to the caller instead, with the message kept.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    char warning[JMSG_LENGTH_MAX];
};

extern "C" void onError(j_common_ptr info)
{
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

extern "C" void onMessage(j_common_ptr info, int level)
{
    // Warnings (level -1) are kept, the first one only; trace output is dropped.
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    if (level < 0) {
        if (err->warning[0] == '\0')
            (*info->err->format_message)(info, err->warning);
        ++info->err->num_warnings;
    }
}

extern "C" void silentOutput(j_common_ptr) {}

void installErrorManager(ErrorManager& err)
{
    jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    err.base.emit_message = onMessage;
    err.base.output_message = silentOutput;
    err.message[0] = '\0';
    err.warning[0] = '\0';
}

// Larger pictures are refused rather than allocated.
constexpr qint64 kMaxPixels = 200'000'000;

// The libjpeg calls between setjmp and a possible longjmp: no C++ object with a
// destructor is created in this frame, only *out (the caller's) is assigned.
bool decodeInto(jpeg_decompress_struct* info, ErrorManager* err, const unsigned char* data, unsigned long size,
                QImage* out, std::vector<unsigned char>* row)
{
    if (setjmp(err->jump))
        return false;
    jpeg_create_decompress(info);
    jpeg_mem_src(info, data, size);
    jpeg_read_header(info, TRUE);
    const bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
    const bool gray = info->jpeg_color_space == JCS_GRAYSCALE;
    info->out_color_space = cmyk ? JCS_CMYK : gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(info);

    const qint64 width = info->output_width, height = info->output_height;
    if (width <= 0 || height <= 0 || width * height > kMaxPixels) {
        std::snprintf(err->message, sizeof err->message, "Picture of %lld x %lld pixels is too large",
                      (long long)width, (long long)height);
        return false;
    }
    *out = QImage(int(width), int(height), gray ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (out->isNull()) {
        std::snprintf(err->message, sizeof err->message, "Out of memory for %lld x %lld pixels",
                      (long long)width, (long long)height);
        return false;
    }
    if (cmyk)
        row->resize(size_t(width) * 4);
    while (info->output_scanline < info->output_height) {
        const int y = int(info->output_scanline);
        JSAMPROW target = cmyk ? row->data() : out->scanLine(y);
        if (jpeg_read_scanlines(info, &target, 1) != 1)
            break;
        if (cmyk) {
            // Adobe writes CMYK inverted: each stored value is 255 minus the ink.
            unsigned char* rgb = out->scanLine(y);
            for (qint64 x = 0; x < width; ++x) {
                const unsigned k = (*row)[x * 4 + 3];
                for (int c = 0; c < 3; ++c)
                    rgb[x * 3 + c] = static_cast<unsigned char>((*row)[x * 4 + c] * k / 255);
            }
        }
    }
    jpeg_finish_decompress(info);
    return true;
}

bool encodeInto(jpeg_compress_struct* info, ErrorManager* err, const QImage& rgb, int quality,
                unsigned char** buffer, unsigned long* size)
{
    if (setjmp(err->jump))
        return false;
    jpeg_create_compress(info);
    jpeg_mem_dest(info, buffer, size);
    info->image_width = JDIMENSION(rgb.width());
    info->image_height = JDIMENSION(rgb.height());
    const bool gray = rgb.format() == QImage::Format_Grayscale8;
    info->input_components = gray ? 1 : 3;
    info->in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(info);
    jpeg_set_quality(info, quality, TRUE);
    jpeg_start_compress(info, TRUE);
    while (info->next_scanline < info->image_height) {
        JSAMPROW line = const_cast<JSAMPROW>(rgb.constScanLine(int(info->next_scanline)));
        jpeg_write_scanlines(info, &line, 1);
    }
    jpeg_finish_compress(info);
    return true;
}

} // namespace

DecodedJpeg decodeJpeg(const QByteArray& data)
{
    if (data.isEmpty())
        return {QImage(), QStringLiteral("Empty JPEG data")};
    jpeg_decompress_struct info{};
    ErrorManager err;
    installErrorManager(err);
    info.err = &err.base;
    QImage image;
    std::vector<unsigned char> row;
    const bool ok = decodeInto(&info, &err, reinterpret_cast<const unsigned char*>(data.constData()),
                               static_cast<unsigned long>(data.size()), &image, &row);
    jpeg_destroy_decompress(&info);
    if (!ok)
        return {QImage(), QString::fromLocal8Bit(err.message[0] ? err.message : "Undecodable JPEG data")};
    return {image.convertToFormat(QImage::Format_RGB32), QString::fromLocal8Bit(err.warning)};
}

DecodedJpeg decodeJpegFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QImage(), QStringLiteral("Cannot open file %1").arg(path)};
    return decodeJpeg(file.readAll());
}

EncodedJpeg encodeJpeg(const QImage& image, int quality)
{
    if (image.isNull())
        return {QByteArray(), QStringLiteral("No picture to encode")};
    // A grey picture stays a one-component JPEG; everything else is written as RGB.
    const QImage rgb = image.convertToFormat(image.isGrayscale() ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    jpeg_compress_struct info{};
    ErrorManager err;
    installErrorManager(err);
    info.err = &err.base;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = encodeInto(&info, &err, rgb, std::clamp(quality, 1, 100), &buffer, &size);
    jpeg_destroy_compress(&info);
    EncodedJpeg out;
    if (ok)
        out.bytes = QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(size));
    else
        out.error = QString::fromLocal8Bit(err.message[0] ? err.message : "JPEG encoding failed");
    std::free(buffer);
    return out;
}
