#pragma once

#include <QIcon>
#include <QImage>
#include <QList>

// The window icon: a small scope screen with a green trace, in three images: 32 x 32 in two
// colours, 32 x 32 and 16 x 16 in sixteen colours.
QIcon appIcon();
QList<QImage> appIconImages();
