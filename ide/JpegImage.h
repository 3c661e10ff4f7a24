#pragma once
// JPEG decoding through libjpeg's own API (not Qt's image plugins), for the
// splash picture, and the matching encoder the project's picture generator
// uses. libjpeg's fatal errors come back as a null image or empty bytes
// with the reason; the library never ends the program.

#include <QByteArray>
#include <QImage>
#include <QString>

// A decoded picture: a null image with the reason when the data is no
// decodable JPEG. A picture whose data is damaged but still decodes (a
// truncated scan) comes with libjpeg's warning as the message.
struct DecodedJpeg {
    QImage image;
    QString message;
};
[[nodiscard]] DecodedJpeg decodeJpeg(const QByteArray& data);
[[nodiscard]] DecodedJpeg decodeJpegFile(const QString& path);

// The image as a baseline JPEG file of the given quality (1 to 100): empty
// bytes with the reason when the image is null or libjpeg fails.
struct EncodedJpeg {
    QByteArray bytes;
    QString error;
};
[[nodiscard]] EncodedJpeg encodeJpeg(const QImage& image, int quality = 90);
