#pragma once
// JPEG decoding through libjpeg's own API (not Qt's image plugins), for the
// splash picture.

#include <QByteArray>
#include <QImage>
#include <QString>

// A null image, with the reason in *error, when the data is no decodable JPEG.
QImage decodeJpeg(const QByteArray& data, QString* error = nullptr);
QImage decodeJpegFile(const QString& path, QString* error = nullptr);
