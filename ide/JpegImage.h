#pragma once
// JPEG decoding through libjpeg's own API (not Qt's image plugins), for the
// splash picture, and the matching encoder the project's picture generator
// uses. libjpeg's fatal errors come back as a null image or an empty array
// with the reason; the library never ends the program.

#include <QByteArray>
#include <QImage>
#include <QString>

// A null image, with the reason in *error, when the data is no decodable JPEG.
// A picture whose data is damaged but still decodes (a truncated scan) comes
// back as an image, with libjpeg's warning in *error.
QImage decodeJpeg(const QByteArray& data, QString* error = nullptr);
QImage decodeJpegFile(const QString& path, QString* error = nullptr);

// The image as a baseline JPEG file of the given quality (1 to 100); an empty
// array, with the reason in *error, when the image is null or libjpeg fails.
QByteArray encodeJpeg(const QImage& image, int quality = 90, QString* error = nullptr);
