#pragma once
// Whether a font draws the Unicode control pictures, which the receive and
// transmit boxes then show for control bytes (see DisplayChar).

class QFont;

bool HasControlPictures(const QFont& font);
